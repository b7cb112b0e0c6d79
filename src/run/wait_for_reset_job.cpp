// The wait-for-reset job: polls the port every 50 ms until the device
// answers (the user pressed RESET), then reports it, unless the prompt was
// cancelled in the meantime.
#include "identify/library_results.h"
#include "run/cthread_job.h"

void CThread::Job::RunWaitForReset(const JobInputs& inputs) {
  platform::Semaphore* pausePointer;
  std::function<void()> onFound;
  {
    std::lock_guard lock(mutex);
    pause = std::make_unique<platform::Semaphore>(0, 1);
    pausePointer = pause.get();
    onFound = found;
  }
  bool answer = false;
  while (!answer) {
    bool timedOut = !pausePointer->Wait(kResetPollPauseMs);
    if (stopRequested.load()) return;
    if (!timedOut || !inputs.library) continue;
    if (!EnterLibrary()) return;  // stopped since the check above
    answer = DeviceReady(*inputs.library, inputs.port, inputs.deviceCode);
    LeaveLibrary();
  }
  if (!stopRequested.load() && onFound) onFound();
}
