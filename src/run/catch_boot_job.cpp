// The catch-boot job: asks the device library to catch the boot loader and
// keeps the answer for the start-update sequence.
#include "identify/device_library.h"
#include "run/cthread_job.h"

void CThread::Job::RunCatchBoot(const Inputs& inputs) {
  if (!inputs.library || !EnterLibrary()) return;  // not caught
  bool caught = inputs.library->CatchBoot(inputs.port, inputs.deviceCode) != 0;
  bootCaught.store(caught);
  LeaveLibrary();
}
