#pragma once
// One Start Update from the identification to the download's result, as
// every face of the program runs it: the window asks with dialogs, the
// command line on the terminal or from its options. The decisions live
// here; a face only asks, waits and shows.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/update_run_state.h"
#include "identify/device_choice.h"
#include "identify/device_library.h"

class CThread;
class WorkerOwner;

class UpdateFace : public DeviceChoiceUi {
 public:
  // Identified, but the boot loader does not answer: the user must press
  // RESET while the port is polled. True once the device answered.
  virtual bool AwaitReset() = 0;
  // Not identified, the chosen family's boot loader does not answer: one
  // short try to catch it. True when caught.
  virtual bool CatchBootLoader() = 0;
  // The catch failed: tell the user the device was not detected.
  virtual void ReportNotDetected() = 0;
  // Returns once no job of this run is inside the device library any more.
  virtual void AwaitJobsOutOfLibrary() = 0;
};

// How far one run got.
struct ReachedDevice {
  // The boot loader of the selected family answers.
  bool reached = false;
  // What the confirmation shows as installed: UserText::NothingAcquired when
  // no boot information matched, UserText::NotAcquired when the application
  // did not answer.
  std::string installedVersion;
};

// Identification, the family choice where it does not decide, and the way
// into the boot loader: InitCom, else the RESET wait (identified) or one
// catch-boot try (chosen).
ReachedDevice ReachDevice(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                          UpdateFace& face);

// The catch-boot try: a worker of owner's in catch-boot mode, given
// waitMs (pause) to answer. A worker still inside the library afterwards is
// told to stop and kept in givenUp, to be awaited before the port is used
// again; current holds the worker while it runs.
inline constexpr unsigned kCatchBootWaitMs = 1000;
bool CatchBootWithin(WorkerOwner& owner, std::shared_ptr<CThread>& current,
                     std::shared_ptr<CThread>& givenUp, const std::function<void(unsigned)>& pause);

// The family whose firmware is written, and the download's result: the
// first selected family's file (firmwarePath gives it; empty: none) to the
// device code's boot loader. False when no family is selected.
bool DownloadSelectedFirmware(const UpdateRunState& state, DeviceLibrary& library,
                              const std::function<std::string(DeviceFamily)>& firmwarePath,
                              std::int32_t port);
