#include "kestra2g/job_state.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "kestra2g/library_log.h"

namespace kestra2g {
namespace {

std::atomic<int> gJob{static_cast<int>(Job::Idle)};
std::atomic<std::int32_t> gProgress{0};

}  // namespace

const char* JobName(Job job) {
  switch (job) {
    case Job::Idle:
      return "Idle";
    case Job::CheckingFile:
      return "Checking the firmware file";
    case Job::Connecting:
      return "Connecting";
    case Job::Erasing:
      return "Erasing";
    case Job::Writing:
      return "Writing";
    case Job::Verifying:
      return "Verifying";
    case Job::Activating:
      return "Activating";
    case Job::Restarting:
      return "Restarting";
    case Job::Done:
      return "Done";
    case Job::Failed:
      return "Failed";
  }
  return "Idle";
}

void BeginDownload() {
  gProgress.store(0);
  gJob.store(static_cast<int>(Job::CheckingFile));
}

void SetJob(Job job) {
  // Each stage the download enters, for the support log; only the
  // download's own thread sets jobs.
  if (gJob.exchange(static_cast<int>(job)) != static_cast<int>(job) && job != Job::Failed) {
    LibraryLog().Write(std::string("job: ") + JobName(job));
  }
}

Job CurrentJob() { return static_cast<Job>(gJob.load()); }

void RaiseProgress(int percent) {
  const std::int32_t target = std::clamp(percent, 0, 100);
  std::int32_t seen = gProgress.load();
  while (seen < target && !gProgress.compare_exchange_weak(seen, target)) {
  }
}

std::int32_t CurrentProgress() { return gProgress.load(); }

}  // namespace kestra2g
