#include "run/cthread.h"

#include <system_error>

#include "run/cthread_job.h"
#include "run/worker_owner.h"

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
    // Never ran, or a download: the job uses its owner to the end.
    thread_.join();
    return;
  }
  // A catch boot may sit in the library for long; once the job holds its
  // inputs it needs nothing of ours, and its late answer goes unread.
  RequestStop();
  {
    std::unique_lock lock(job_->mutex);
    job_->changed.wait(lock, [&] { return job_->inputsTaken; });
  }
  thread_.detach();
}

void CThread::SetOwner(WorkerOwner* owner) {
  std::lock_guard lock(job_->mutex);
  job_->owner = owner;
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

CThread::Job::Inputs CThread::Job::TakeInputs(WorkerOwner& owner) {
  Inputs inputs{owner.GetDeviceCode(), owner.ReadSavedPort(), owner.JobLibrary()};
  {
    std::lock_guard lock(mutex);
    inputsTaken = true;
  }
  changed.notify_all();
  return inputs;
}

bool CThread::Job::EnterLibrary() {
  std::lock_guard lock(mutex);
  if (stopRequested.load()) return false;
  inLibrary = true;
  return true;
}

void CThread::Job::LeaveLibrary() {
  {
    std::lock_guard lock(mutex);
    inLibrary = false;
  }
  changed.notify_all();
}

void CThread::Job::Run() {
  WorkerOwner* runOwner;
  std::int32_t runMode;
  std::shared_ptr<platform::NamedEvent> event;
  {
    std::lock_guard lock(mutex);
    runOwner = owner;
    runMode = mode;
    event = completionEvent;
  }
  if (!runOwner) {
    // Nothing to work for; let a waiting destructor go on.
    std::lock_guard lock(mutex);
    inputsTaken = true;
    changed.notify_all();
    return;
  }
  if (runMode == kCatchBootMode) {
    RunCatchBoot(TakeInputs(*runOwner));
  } else if (runMode == kWaitForResetMode) {
    RunWaitForReset(TakeInputs(*runOwner));
  } else {
    runOwner->DownloadFirmware();
    downloadDone.store(true);
    // The last act: from here on neither the owner nor the worker is touched.
    if (event) event->Set();
  }
}
