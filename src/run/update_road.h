#pragma once
// One update run, from the port check to the download's result, the same
// for every face: the library loaded once per run, identification, the
// family choice where it does not decide, InitCom, the RESET wait or one
// catch-boot try, the confirmation with its completion event, the download
// worker and the polling of its progress. The face only answers and shows.
//
// Threads: Start, ConfirmUpdate, PollProgress and AwaitJobsOutOfLibrary run
// on the face's thread (the window's user-interface thread). Each job gets
// its inputs by value when it is made; the download job reports its result
// through the face from its own thread and then clears the run state.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/update_run_state.h"
#include "run/run_services.h"
#include "run/update_face.h"

// How far the run got before the confirmation.
struct ReachedDevice {
  // The boot loader of the selected family answers.
  bool reached = false;
  // What the confirmation shows as installed: UserText::NothingAcquired when
  // no boot information matched, UserText::NotAcquired when the application
  // did not answer.
  std::string installedVersion;
};

// One poll of a running download.
struct DownloadPoll {
  bool ended = false;  // this poll saw the download's end and left the transfer
  std::string jobName;
  std::int32_t progress = 0;
};

// The catch-boot job is given this long to answer.
inline constexpr unsigned kCatchBootWaitMs = 1000;

class UpdateRoad final : private ResetWaits {
 public:
  using FirmwarePaths = std::function<std::string(DeviceFamily)>;

  // `firmwarePath` gives the file of a family (empty: none). All must
  // outlive the road.
  UpdateRoad(UpdateRunState& state, RunServices& services, UpdateFace& face,
             FirmwarePaths firmwarePath);
  ~UpdateRoad() override;
  UpdateRoad(const UpdateRoad&) = delete;
  UpdateRoad& operator=(const UpdateRoad&) = delete;

  // From the port check to a running download: true when the download job
  // runs, false when the run ended before (the face was told what it must
  // know, the run state is clear but after the port check).
  bool Start(std::int32_t port);

  // What the last Start reached before the confirmation.
  const ReachedDevice& Reached() const { return reached_; }
  // The version the file of the first selected family names; none without
  // a selected family or a version in the file's name.
  std::optional<std::string> NewVersion();

  // The confirmation: opens the completion event of the first selected
  // family (a private one without), then asks the face.
  bool ConfirmUpdate(const std::string& installedVersion);

  // One tick of the progress polling: waits up to waitMs for the completion
  // event, leaves the transfer once the download job has ended, then asks
  // the library for the first selected family's job name and progress.
  DownloadPoll PollProgress(unsigned waitMs);
  bool DownloadRunning() const { return currentWorker_ != nullptr; }

  // Returns once no job of this road is inside the device library.
  void AwaitJobsOutOfLibrary();

  // What the port doctor found when the last Start ended short of the
  // download; nothing when it ended otherwise or found nothing to examine.
  const std::optional<doctor::Report>& LastExamination() const { return examination_; }

 private:
  ReachedDevice ReachDevice(std::int32_t port);
  bool CatchBootLoader();
  bool StartDownload();
  void DownloadEnded(bool updated, bool familySelected);
  std::shared_ptr<CThread> NewWorker(std::int32_t mode);
  std::shared_ptr<platform::NamedEvent> OpenCompletionEvent(const std::string& name);
  std::shared_ptr<CThread> NewWaitForReset() override;
  void LogEnd(const std::string& how);
  // Writes the port doctor's whole report into the support log.
  std::optional<doctor::Report> Examine(std::int32_t port);

  UpdateRunState& state_;
  RunServices& services_;
  UpdateFace& face_;
  FirmwarePaths firmwarePath_;

  // Of the current run, set on the face's thread before any job runs.
  std::int32_t port_ = 0;
  std::shared_ptr<DeviceLibrary> library_;
  ReachedDevice reached_;
  bool notDetected_ = false;
  std::optional<doctor::Report> examination_;

  std::shared_ptr<platform::NamedEvent> completionEvent_;
  std::string completionEventError_;  // why the last event could not be made

  // The download worker, or the catch-boot worker while it runs.
  std::shared_ptr<CThread> currentWorker_;
  // A catch-boot worker given up while perhaps still inside the library.
  std::shared_ptr<CThread> givenUpWorker_;
  // The wait-for-reset jobs begun for this run's prompt.
  std::vector<std::shared_ptr<CThread>> resetWaits_;
};
