#include "platform/semaphore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SemaphoreTest, WaitTimesOutOnAnEmptySemaphore) {
  Semaphore pause(0, 1);
  auto start = steady_clock::now();
  EXPECT_FALSE(pause.Wait(50));
  EXPECT_GE(steady_clock::now() - start, milliseconds(45));
}

TEST(SemaphoreTest, ReleaseCountsUpToTheMaximum) {
  Semaphore semaphore(0, 1);
  EXPECT_TRUE(semaphore.Release());
  EXPECT_FALSE(semaphore.Release());
  EXPECT_TRUE(semaphore.Wait(0));
  EXPECT_FALSE(semaphore.Wait(0));
}

TEST(SemaphoreTest, ReleaseFromAnotherThreadEndsTheWait) {
  Semaphore semaphore(0, 1);
  std::thread releaser([&] {
    std::this_thread::sleep_for(milliseconds(20));
    semaphore.Release();
  });
  EXPECT_TRUE(semaphore.Wait(5000));
  releaser.join();
}

}  // namespace
}  // namespace platform
