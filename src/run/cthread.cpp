#include "run/cthread.h"

#include <system_error>

#include "identify/library_results.h"
#include "run/cthread_job.h"

std::shared_ptr<CThread> CThread::Begin() {
  auto worker = std::make_shared<CThread>(PassKey{});
  try {
    worker->thread_ = std::thread(&Job::ThreadMain, worker->job_);
  } catch (const std::system_error&) {
    return nullptr;  // the system would not give us a thread
  }
  return worker;
}

CThread::CThread(PassKey) : job_(std::make_shared<Job>()) {}

CThread::~CThread() {
  if (!thread_.joinable()) return;
  Job::Gate gate;
  std::int32_t mode;
  {
    std::lock_guard lock(job_->mutex);
    if (job_->gate == Job::Gate::Suspended) job_->gate = Job::Gate::Abandoned;
    gate = job_->gate;
    mode = job_->mode;
  }
  job_->changed.notify_all();
  bool download = mode != kCatchBootMode && mode != kWaitForResetMode;
  if (gate == Job::Gate::Abandoned || download) {
    // Never ran, or a download: its end reports to the run to the last.
    thread_.join();
    return;
  }
  // A catch boot may sit in the library for long; the job holds its own
  // inputs, needs nothing of ours, and its late answer goes unread.
  RequestStop();
  thread_.detach();
}

void CThread::SetInputs(JobInputs inputs) {
  std::lock_guard lock(job_->mutex);
  job_->inputs = std::move(inputs);
}

void CThread::SetMode(std::int32_t mode) {
  std::lock_guard lock(job_->mutex);
  job_->mode = mode;
}

void CThread::SetCompletionEvent(std::shared_ptr<platform::NamedEvent> event) {
  std::lock_guard lock(job_->mutex);
  job_->completionEvent = std::move(event);
}

void CThread::SetFoundHandler(std::function<void()> found) {
  std::lock_guard lock(job_->mutex);
  job_->found = std::move(found);
}

void CThread::SetDownloadEnd(std::function<void(bool)> end) {
  std::lock_guard lock(job_->mutex);
  job_->downloadEnd = std::move(end);
}

bool CThread::ResumeThread() {
  {
    std::lock_guard lock(job_->mutex);
    if (job_->gate != Job::Gate::Suspended) return false;
    job_->gate = Job::Gate::Running;
  }
  job_->changed.notify_all();
  return true;
}

void CThread::Join() {
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  {
    std::lock_guard lock(job_->mutex);
    if (job_->gate == Job::Gate::Suspended) job_->gate = Job::Gate::Abandoned;
  }
  job_->changed.notify_all();
  thread_.join();
}

void CThread::RequestStop() {
  std::lock_guard lock(job_->mutex);
  job_->stopRequested.store(true);
  if (job_->pause) job_->pause->Release();  // end the current pause at once
}

void CThread::RequestStopAndWait() {
  RequestStop();
  std::unique_lock lock(job_->mutex);
  job_->changed.wait(lock, [&] { return !job_->inLibrary; });
}

bool CThread::StopRequested() const { return job_->stopRequested.load(); }

bool CThread::DownloadDone() const { return job_->downloadDone.load(); }

bool CThread::BootCaught() const { return job_->bootCaught.load(); }

void CThread::Job::ThreadMain(std::shared_ptr<Job> job) {
  {
    std::unique_lock lock(job->mutex);
    job->changed.wait(lock, [&] { return job->gate != Gate::Suspended; });
    if (job->gate == Gate::Abandoned) return;
  }
  job->Run();
}

void CThread::Job::Run() {
  std::optional<JobInputs> runInputs;
  std::int32_t runMode;
  std::shared_ptr<platform::NamedEvent> event;
  std::function<void(bool)> end;
  {
    std::lock_guard lock(mutex);
    runInputs = inputs;
    runMode = mode;
    event = completionEvent;
    end = downloadEnd;
  }
  if (!runInputs) return;  // nothing to work with
  if (runMode == kCatchBootMode) {
    RunCatchBoot(*runInputs);
  } else if (runMode == kWaitForResetMode) {
    RunWaitForReset(*runInputs);
  } else {
    const bool updated = RunDownload(*runInputs);
    if (end) end(updated);
    downloadDone.store(true);
    // The last act: from here on neither the run nor the worker is touched.
    if (event) event->Set();
  }
}

bool CThread::Job::RunDownload(const JobInputs& inputs) {
  if (!inputs.library || !inputs.firmwarePath) return false;
  return FirmwareDownloaded(*inputs.library, *inputs.firmwarePath, inputs.port, inputs.deviceCode);
}
