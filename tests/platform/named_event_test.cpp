#include "platform/named_event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>

#include "platform/system_error.h"
#endif

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::shared_ptr<NamedEvent> OpenOrNull(const std::string& name) {
  auto event = NamedEvent::Open(name);
  EXPECT_TRUE(event) << event.error().Describe();
  return event.value_or(nullptr);
}

// A name no other test run uses, with the spaces real event names have.
std::string UniqueName(const char* what) {
  return std::string("Reflint test ") + what + " " +
         std::to_string(steady_clock::now().time_since_epoch().count());
}

TEST(NamedEventTest, StartsNonSignalledAndFollowsSetAndReset) {
  auto event = OpenOrNull(UniqueName("basic"));
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->Wait(0), WaitResult::TimedOut);
  EXPECT_TRUE(event->Set());
  // Manual reset: stays signalled through any number of waits.
  EXPECT_EQ(event->Wait(0), WaitResult::Signalled);
  EXPECT_EQ(event->Wait(10), WaitResult::Signalled);
  EXPECT_TRUE(event->Reset());
  EXPECT_EQ(event->Wait(0), WaitResult::TimedOut);
}

TEST(NamedEventTest, TimedWaitLastsAboutItsTimeout) {
  auto event = OpenOrNull(UniqueName("timeout"));
  ASSERT_NE(event, nullptr);
  auto start = steady_clock::now();
  EXPECT_EQ(event->Wait(100), WaitResult::TimedOut);
  EXPECT_GE(steady_clock::now() - start, milliseconds(95));
}

TEST(NamedEventTest, ReopeningByNameSharesTheEventAndKeepsItsState) {
  std::string name = UniqueName("reopen");
  auto first = OpenOrNull(name);
  ASSERT_NE(first, nullptr);
  first->Set();
  auto second = OpenOrNull(name);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Wait(0), WaitResult::Signalled);
  second->Reset();
  EXPECT_EQ(first->Wait(0), WaitResult::TimedOut);
}

TEST(NamedEventTest, LastCloseRemovesTheEvent) {
  std::string name = UniqueName("last close");
  OpenOrNull(name)->Set();
  auto fresh = OpenOrNull(name);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Wait(0), WaitResult::TimedOut);
}

TEST(NamedEventTest, UnnamedEventsAreSeparate) {
  auto one = OpenOrNull("");
  auto other = OpenOrNull("");
  ASSERT_NE(one, nullptr);
  ASSERT_NE(other, nullptr);
  one->Set();
  EXPECT_EQ(other->Wait(0), WaitResult::TimedOut);
}

TEST(NamedEventTest, SetFromAnotherThreadWakesTheWaiter) {
  auto event = OpenOrNull(UniqueName("thread"));
  ASSERT_NE(event, nullptr);
  std::thread setter([&] {
    std::this_thread::sleep_for(milliseconds(30));
    event->Set();
  });
  EXPECT_EQ(event->Wait(5000), WaitResult::Signalled);
  setter.join();
}

#ifndef _WIN32
TEST(NamedEventTest, AnotherProcessOpeningTheNameSharesTheEvent) {
  std::string name = UniqueName("process");
  auto event = OpenOrNull(name);
  ASSERT_NE(event, nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto own = OpenOrNull(name);
    // The parent's state is seen on opening.
    bool sawNonSignalled = own && own->Wait(0) == WaitResult::TimedOut;
    std::this_thread::sleep_for(milliseconds(30));
    if (own) own->Set();
    _exit(sawNonSignalled ? 0 : 1);
  }
  EXPECT_EQ(event->Wait(5000), WaitResult::Signalled);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The child's close did not remove the event the parent still holds.
  EXPECT_EQ(OpenOrNull(name)->Wait(0), WaitResult::Signalled);
}
#endif

#ifdef _WIN32
// A name that another kind of object holds: the system refuses the event,
// and the reason comes in the system's words, not as a bare number.
TEST(NamedEventTest, RefusalCarriesTheSystemsText) {
  const std::string name = UniqueName("taken");
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr);
  const auto event = NamedEvent::Open(name);
  CloseHandle(mutex);
  ASSERT_FALSE(event);
  EXPECT_EQ(event.error().code, ERROR_INVALID_HANDLE);
  EXPECT_EQ(event.error().text, SystemErrorText(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(event.error().text.starts_with("error ")) << "FormatMessage found no text";
}
#endif

}  // namespace
}  // namespace platform
