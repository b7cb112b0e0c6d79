#include "run/cthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "identify/fake_device_library.h"
#include "platform/named_event.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// What a run hands its jobs, and what the download job reports back.
struct FakeRun {
  JobInputs Inputs() const { return {2, 7, library, firmwarePath}; }

  std::shared_ptr<FakeDeviceLibrary> library = std::make_shared<FakeDeviceLibrary>();
  std::optional<std::string> firmwarePath = "HLX700V_1_0.bin";
  std::shared_ptr<platform::NamedEvent> event;
  std::atomic<int> downloads{0};
  std::atomic<bool> updated{false};
  std::atomic<bool> signalledDuringDownload{false};
};

template <typename Predicate>
bool WaitFor(Predicate done, milliseconds limit = milliseconds(5000)) {
  auto deadline = steady_clock::now() + limit;
  while (!done()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

std::shared_ptr<CThread> StartWorker(FakeRun& run, std::int32_t mode) {
  auto worker = CThread::Begin();
  if (!worker) return nullptr;
  worker->SetInputs(run.Inputs());
  if (mode != CThread::kInitialMode) worker->SetMode(mode);
  worker->SetDownloadEnd([&run](bool updated) {
    ++run.downloads;
    run.updated.store(updated);
    // The event must not be signalled before the job's end is reported.
    run.signalledDuringDownload.store(run.event &&
                                      run.event->Wait(0) == platform::WaitResult::Signalled);
  });
  return worker;
}

TEST(CThreadTest, SuspendedWorkerRunsNothingUntilResumedAndEndsCleanlyWhenDropped) {
  FakeRun owner;
  owner.event = platform::NamedEvent::Open("").value();
  {
    auto worker = StartWorker(owner, CThread::kInitialMode);
    ASSERT_NE(worker, nullptr);
    worker->SetCompletionEvent(owner.event);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(owner.downloads.load(), 0);
  }
  EXPECT_EQ(owner.downloads.load(), 0);
  EXPECT_EQ(owner.event->Wait(0), platform::WaitResult::TimedOut);
}

TEST(CThreadTest, AnyModeButFourAndFiveDownloadsThenSignalsTheEventLast) {
  for (std::int32_t mode : {CThread::kInitialMode, 0, 6}) {
    FakeRun owner;
    owner.event = platform::NamedEvent::Open("").value();
    auto worker = StartWorker(owner, mode);
    ASSERT_NE(worker, nullptr);
    worker->SetCompletionEvent(owner.event);
    ASSERT_TRUE(worker->ResumeThread());
    EXPECT_FALSE(worker->ResumeThread());
    EXPECT_EQ(owner.event->Wait(5000), platform::WaitResult::Signalled) << mode;
    worker->Join();
    EXPECT_EQ(owner.downloads.load(), 1);
    EXPECT_FALSE(owner.signalledDuringDownload.load());
  }
}

TEST(CThreadTest, DownloadWorkerWithoutInputsDoesNothing) {
  auto event = platform::NamedEvent::Open("").value();
  auto worker = CThread::Begin();
  ASSERT_NE(worker, nullptr);
  worker->SetCompletionEvent(event);
  worker->ResumeThread();
  worker->Join();
  EXPECT_EQ(event->Wait(0), platform::WaitResult::TimedOut);
}

TEST(CThreadTest, CatchBootUsesDeviceCodeAndPortOfItsStartAndKeepsTheAnswer) {
  FakeRun owner;
  auto worker = StartWorker(owner, CThread::kCatchBootMode);
  ASSERT_NE(worker, nullptr);
  EXPECT_FALSE(worker->BootCaught());
  worker->ResumeThread();
  worker->Join();
  EXPECT_TRUE(worker->BootCaught());
  EXPECT_EQ(owner.library->lastCode.load(), 2);
  EXPECT_EQ(owner.library->lastPort.load(), 7);
  EXPECT_EQ(owner.downloads.load(), 0);

  owner.library->catchBootAnswer.store(0);
  auto refused = StartWorker(owner, CThread::kCatchBootMode);
  refused->ResumeThread();
  refused->Join();
  EXPECT_FALSE(refused->BootCaught());
}

TEST(CThreadTest, CatchBootWithoutLibraryIsNotCaught) {
  FakeRun owner;
  owner.library = nullptr;
  auto worker = StartWorker(owner, CThread::kCatchBootMode);
  worker->ResumeThread();
  worker->Join();
  EXPECT_FALSE(worker->BootCaught());
}

// A worker given up while its thread is inside the library call: dropping it
// neither blocks nor frees what the thread still uses; the late answer lands
// nowhere anyone reads.
TEST(CThreadTest, GivingUpACatchBootStuckInTheLibraryIsSafe) {
  auto owner = std::make_unique<FakeRun>();
  auto library = owner->library;
  library->Hold(JobCall::kCatchBoot);
  auto worker = StartWorker(*owner, CThread::kCatchBootMode);
  worker->ResumeThread();
  ASSERT_TRUE(WaitFor([&] { return library->catchBootCalls.load() == 1; }));
  auto start = steady_clock::now();
  worker.reset();
  owner.reset();  // the window may go too
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  library->Release(JobCall::kCatchBoot);
  // The thread ends by itself, holding the library until then.
  EXPECT_TRUE(WaitFor([&] { return library.use_count() == 1; }));
}

TEST(CThreadTest, WaitForResetPollsEvery50MsUntilTheDeviceAnswers) {
  FakeRun owner;
  owner.library->initComSucceedsAt.store(3);
  std::atomic<int> found{0};
  auto worker = StartWorker(owner, CThread::kWaitForResetMode);
  worker->SetFoundHandler([&] { ++found; });
  auto start = steady_clock::now();
  worker->ResumeThread();
  worker->Join();
  auto elapsed = steady_clock::now() - start;
  EXPECT_EQ(found.load(), 1);
  EXPECT_EQ(owner.library->initComCalls.load(), 3);
  EXPECT_GE(elapsed, milliseconds(145));  // three pauses of 50 ms
  EXPECT_EQ(owner.library->lastCode.load(), 2);
  EXPECT_EQ(owner.library->lastPort.load(), 7);
}

TEST(CThreadTest, StoppedWaitForResetPollsNoMoreAndReportsNothing) {
  FakeRun owner;
  owner.library->initComSucceedsAt.store(0);
  std::atomic<int> found{0};
  auto worker = StartWorker(owner, CThread::kWaitForResetMode);
  worker->SetFoundHandler([&] { ++found; });
  worker->ResumeThread();
  ASSERT_TRUE(WaitFor([&] { return owner.library->initComCalls.load() >= 2; }));
  owner.library->initComSucceedsAt.store(1);  // the device would answer now
  worker->RequestStop();
  worker->Join();
  int calls = owner.library->initComCalls.load();
  std::this_thread::sleep_for(milliseconds(120));
  EXPECT_EQ(owner.library->initComCalls.load(), calls);
  EXPECT_LE(calls, 3);
  EXPECT_EQ(found.load(), 0);
}

TEST(CThreadTest, DroppingAWaitForResetWorkerStopsItsJob) {
  FakeRun owner;
  owner.library->initComSucceedsAt.store(0);
  auto library = owner.library;
  auto worker = StartWorker(owner, CThread::kWaitForResetMode);
  worker->ResumeThread();
  ASSERT_TRUE(WaitFor([&] { return library->initComCalls.load() >= 1; }));
  worker.reset();
  EXPECT_TRUE(WaitFor([&] { return library.use_count() == 2; }));  // the owner's and ours
  int calls = library->initComCalls.load();
  std::this_thread::sleep_for(milliseconds(120));
  EXPECT_EQ(library->initComCalls.load(), calls);
}

}  // namespace
