// The catch-boot job: asks the device library to catch the boot loader and
// keeps the answer for the start-update sequence.
#include "identify/library_results.h"
#include "run/cthread_job.h"

void CThread::Job::RunCatchBoot(const JobInputs& inputs) {
  if (!inputs.library || !EnterLibrary()) return;  // not caught
  bool caught = BootLoaderCaught(*inputs.library, inputs.port, inputs.deviceCode);
  bootCaught.store(caught);
  LeaveLibrary();
}
