#pragma once
// A worker: one thread carrying one job (catch boot, wait for reset or
// download), chosen by the thread mode.
//
// A worker is created suspended: its thread waits until ResumeThread, so its
// inputs and its mode are always set before the job reads them. Everything
// the running job touches lives in a Job that the thread shares, inputs
// included (copied in when the job is made), so a worker may be given up
// while its thread is still inside a library call.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "run/job_inputs.h"

namespace platform {
class NamedEvent;
}

class CThread {
  struct PassKey {};

 public:
  static constexpr std::int32_t kCatchBootMode = 4;
  static constexpr std::int32_t kWaitForResetMode = 5;
  static constexpr std::int32_t kInitialMode = -1;  // any mode but 4 and 5: download
  static constexpr unsigned kResetPollPauseMs = 50;

  // A new worker with its thread suspended; null when no thread can be made.
  static std::shared_ptr<CThread> Begin();

  explicit CThread(PassKey);
  // A worker never resumed ends its thread; a download is awaited; any other
  // job is told to stop and left to end by itself.
  ~CThread();
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // What the job works with; a worker without inputs runs nothing.
  void SetInputs(JobInputs inputs);
  void SetMode(std::int32_t mode);
  // The event the download job signals as its last act.
  void SetCompletionEvent(std::shared_ptr<platform::NamedEvent> event);
  // Called on the worker's thread when the wait-for-reset job finds the
  // device, unless a stop was requested first.
  void SetFoundHandler(std::function<void()> found);
  // Called on the worker's thread when the download call has returned, with
  // its result, before the completion event is signalled.
  void SetDownloadEnd(std::function<void(bool updated)> end);

  // Lets the thread run its job. False when it already ran or was abandoned.
  bool ResumeThread();
  // Waits until the thread has ended. Not from the worker's own thread.
  void Join();

  // Tells the wait-for-reset job to poll no more and report nothing, and the
  // catch-boot job not to begin its call if it has not yet.
  void RequestStop();
  bool StopRequested() const;
  // RequestStop, then waits until the job is outside the device library:
  // afterwards it makes no call on the port. Bounded by the library's own
  // time-outs. Not from the worker's own thread.
  void RequestStopAndWait();

  // True once the download job has done its work: all that remains is the
  // signal and the end of the thread, so Join returns at once.
  bool DownloadDone() const;

  // The catch-boot job's answer: true once Qarnel_CatchBoot returned
  // non-zero; false before it answers.
  bool BootCaught() const;

  struct Job;

 private:
  std::shared_ptr<Job> job_;
  std::thread thread_;
};
