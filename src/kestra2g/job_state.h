#pragma once
// What the library is doing, readable at any moment from any thread: the
// download runs on one thread while another polls job name and progress.
// Lock-free; nothing here waits for the serial line.

#include <cstdint>

namespace kestra2g {

enum class Job : int {
  Idle,
  CheckingFile,
  Connecting,
  Erasing,
  Writing,
  Verifying,
  Activating,
  Restarting,
  Done,
  Failed,
};

const char* JobName(Job job);

// A new download: job Connecting... with progress back at 0.
void BeginDownload();
void SetJob(Job job);
Job CurrentJob();
// Raises the progress to `percent` (0-100); never lowers it.
void RaiseProgress(int percent);
std::int32_t CurrentProgress();

}  // namespace kestra2g
