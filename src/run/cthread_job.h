#pragma once
// The part of a worker that its thread shares: the settings made before it
// runs, the stop request and the job's results. Internal to the worker.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/named_event.h"
#include "platform/semaphore.h"
#include "run/cthread.h"

struct CThread::Job {
  enum class Gate { Suspended, Running, Abandoned };

  // The thread's body: waits for the gate, then runs the job.
  static void ThreadMain(std::shared_ptr<Job> job);
  void Run();
  // A library call on the port begins only while no stop is requested;
  // RequestStopAndWait relies on the check and the mark being one step.
  bool EnterLibrary() {
    std::lock_guard lock(mutex);
    if (stopRequested.load()) return false;
    inLibrary = true;
    return true;
  }
  void LeaveLibrary() {
    {
      std::lock_guard lock(mutex);
      inLibrary = false;
    }
    changed.notify_all();
  }
  void RunCatchBoot(const JobInputs& inputs);
  void RunWaitForReset(const JobInputs& inputs);
  bool RunDownload(const JobInputs& inputs);

  mutable std::mutex mutex;
  std::condition_variable changed;
  Gate gate = Gate::Suspended;
  bool inLibrary = false;

  // Set before the thread runs, under the mutex.
  std::optional<JobInputs> inputs;
  std::int32_t mode = kInitialMode;
  std::shared_ptr<platform::NamedEvent> completionEvent;
  std::function<void()> found;
  std::function<void(bool)> downloadEnd;
  // Created by the wait-for-reset job; released only to end a pause early.
  std::unique_ptr<platform::Semaphore> pause;

  std::atomic<bool> stopRequested{false};
  std::atomic<bool> bootCaught{false};
  std::atomic<bool> downloadDone{false};
};
