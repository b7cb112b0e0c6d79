#include "run/update_road.h"

#include <utility>

#include "catalogue/version_naming.h"
#include "core/user_texts.h"
#include "identify/identification_steps.h"
#include "identify/library_results.h"
#include "run/cthread.h"

namespace {

std::string Text(UserText code) { return std::string(UserTextOf(code)); }

}  // namespace

UpdateRoad::UpdateRoad(UpdateRunState& state, RunServices& services, UpdateFace& face,
                       FirmwarePaths firmwarePath)
    : state_(state), services_(services), face_(face), firmwarePath_(std::move(firmwarePath)) {}

// A download worker is awaited as it goes (its job reports to the face to
// the end); the other jobs are told to stop and end by themselves.
UpdateRoad::~UpdateRoad() {
  for (const std::shared_ptr<CThread>& wait : resetWaits_) wait->RequestStop();
}

bool UpdateRoad::Start(std::int32_t port) {
  reached_ = {};
  notDetected_ = false;
  examination_.reset();
  if (port < 1) {
    LogEnd("no port chosen");
    face_.Tell(Text(UserText::SelectPort));
    examination_ = Examine(0);
    return false;
  }
  LibraryResult library = services_.Library();
  if (!library) {
    LogEnd("the device library could not be loaded (" + library.error().error.Describe() + ")");
    face_.Tell(library.error().userText);
    state_.ResetRunState();
    examination_ = Examine(port);
    return false;
  }
  port_ = port;
  library_ = *library;
  // One library call on the port at a time: a job of an earlier run still
  // inside the library would make this run's first query fail to open it.
  AwaitJobsOutOfLibrary();

  reached_ = ReachDevice(port);
  if (!reached_.reached) {
    LogEnd("no device reached, or the user made no choice");
    state_.ResetRunState();
    if (notDetected_) {
      examination_ = Examine(port);
      const doctor::Finding* cause = examination_ ? examination_->MainFinding(port) : nullptr;
      if (cause != nullptr) face_.TellCause(doctor::Message(*cause));
    }
    return false;
  }
  if (!ConfirmUpdate(reached_.installedVersion)) {
    LogEnd("the user did not confirm the update");
    state_.ResetRunState();
    return false;
  }
  face_.RestoreWaitCursor();
  return StartDownload();
}

ReachedDevice UpdateRoad::ReachDevice(std::int32_t port) {
  DeviceLibrary& library = *library_;
  ReachedDevice result;
  result.installedVersion = Text(UserText::NothingAcquired);
  std::string bootIdFound;
  if (QueryBootInformation(state_, library, port, bootIdFound)) {
    if (!QueryProductInformation(state_, library, port, bootIdFound) &&
        !ChooseAmongBootIdFamilies(state_, face_, bootIdFound))
      return result;
    result.installedVersion =
        QueryApplicationInformation(state_, library, port).value_or(Text(UserText::NotAcquired));
    if (DeviceReady(library, port, state_.GetDeviceCode())) {
      result.reached = true;
      return result;
    }
    result.reached = face_.AwaitReset(*this);
    AwaitJobsOutOfLibrary();  // a given-up poll may still be under way
    return result;
  }
  if (!ChooseAmongAvailable(state_, face_)) return result;
  if (DeviceReady(library, port, state_.GetDeviceCode()) || CatchBootLoader()) {
    result.reached = true;
    return result;
  }
  face_.Tell(Text(UserText::NotDetected));
  notDetected_ = true;
  AwaitJobsOutOfLibrary();
  return result;
}

bool UpdateRoad::CatchBootLoader() {
  face_.RestoreWaitCursor();
  currentWorker_ = NewWorker(CThread::kCatchBootMode);
  if (currentWorker_) currentWorker_->ResumeThread();
  services_.Sleep(kCatchBootWaitMs);
  // Each job has its own answer, false until the library call returns: an
  // answer left from an earlier run cannot count for this one.
  if (currentWorker_ && currentWorker_->BootCaught()) return true;
  // A job still inside the library call runs on; its late answer is not
  // read, but the run ends only once it is out.
  givenUpWorker_ = std::move(currentWorker_);
  if (givenUpWorker_) givenUpWorker_->RequestStop();
  return false;
}

std::shared_ptr<CThread> UpdateRoad::NewWorker(std::int32_t mode) {
  std::shared_ptr<CThread> worker = services_.BeginWorker();
  if (!worker) return nullptr;
  if (mode != CThread::kInitialMode) worker->SetMode(mode);
  JobInputs inputs{state_.GetDeviceCode(), port_, library_, std::nullopt};
  if (mode == CThread::kInitialMode) {
    if (std::optional<DeviceFamily> family = state_.FirstSelectedFamily())
      inputs.firmwarePath = firmwarePath_(*family);
  }
  worker->SetInputs(std::move(inputs));
  return worker;
}

std::shared_ptr<CThread> UpdateRoad::NewWaitForReset() {
  std::shared_ptr<CThread> worker = NewWorker(CThread::kWaitForResetMode);
  if (worker) resetWaits_.push_back(worker);
  return worker;
}

void UpdateRoad::AwaitJobsOutOfLibrary() {
  face_.RestoreWaitCursor();
  if (givenUpWorker_) givenUpWorker_->RequestStopAndWait();
  givenUpWorker_.reset();
  for (const std::shared_ptr<CThread>& wait : resetWaits_) wait->RequestStopAndWait();
  resetWaits_.clear();
}

std::optional<std::string> UpdateRoad::NewVersion() {
  std::optional<DeviceFamily> family = state_.FirstSelectedFamily();
  if (!family) return std::nullopt;
  const std::string path = firmwarePath_(*family);
  return GetFirmwareVersionText(path, FolderOf(path), state_);
}

bool UpdateRoad::ConfirmUpdate(const std::string& installedVersion) {
  std::optional<std::string> newVersion;
  if (std::optional<DeviceFamily> family = state_.FirstSelectedFamily()) {
    newVersion = NewVersion().value_or(Text(UserText::MissingFirmware));
    completionEvent_ = OpenCompletionEvent(std::string(Family(*family).eventName));
  } else {
    completionEvent_.reset();
  }
  // Without an event of its own (no family selected, or the named one could
  // not be made) the run gets a private one: it must never wait on or
  // signal the event of another run.
  if (!completionEvent_) completionEvent_ = OpenCompletionEvent("");
  return face_.Confirm(installedVersion, newVersion);
}

std::shared_ptr<platform::NamedEvent> UpdateRoad::OpenCompletionEvent(const std::string& name) {
  auto event = services_.OpenEvent(name);
  if (event) return *event;
  completionEventError_ = event.error().Describe();
  services_.Log().Write("completion event not made: " + completionEventError_);
  return nullptr;
}

bool UpdateRoad::StartDownload() {
  currentWorker_ = NewWorker(CThread::kInitialMode);  // its mode stays the download's
  // Reset before the polling starts: left signalled from an earlier
  // download, the first tick would take it for the end of this one.
  if (completionEvent_) completionEvent_->Reset();
  face_.StartProgressTimer();
  if (!currentWorker_ || !completionEvent_) {
    face_.StopProgressTimer();
    currentWorker_.reset();
    state_.ResetRunState();
    LogEnd(completionEvent_ ? "no worker thread"
                            : "no completion event (" + completionEventError_ + ")");
    Examine(port_);
    face_.Tell(Text(completionEvent_ ? UserText::NoWorkerThread : UserText::NoCompletionEvent));
    return false;
  }
  currentWorker_->SetCompletionEvent(completionEvent_);
  const bool familySelected = state_.FirstSelectedFamily().has_value();
  currentWorker_->SetDownloadEnd(
      [this, familySelected](bool updated) { DownloadEnded(updated, familySelected); });
  face_.EnterTransfer();
  currentWorker_->ResumeThread();
  return true;
}

// On the download's worker thread; the completion event follows.
void UpdateRoad::DownloadEnded(bool updated, bool familySelected) {
  LogEnd(updated          ? "the firmware was updated"
         : familySelected ? "the firmware was not updated (the device library's lines above name "
                            "the stage and the cause)"
                          : "the firmware was not updated: no family was selected (the remote's "
                            "application did not answer), so there was no file to write");
  if (!updated) Examine(port_);
  face_.ShowResult(updated, Text(updated ? UserText::Updated : UserText::NotUpdated));
  state_.ResetRunState();
}

DownloadPoll UpdateRoad::PollProgress(unsigned waitMs) {
  DownloadPoll poll;
  if (completionEvent_) completionEvent_->Wait(waitMs);
  // The event's name is system-wide: another instance updating the same
  // family may set or reset it. Only our own job's end counts, so the face
  // neither waits on another run nor stays in its transfer for good.
  if (currentWorker_ && currentWorker_->DownloadDone()) {
    face_.RestoreIdleControls();
    // The job has signalled its end; its thread only has to return.
    currentWorker_->Join();
    currentWorker_.reset();
    face_.StopProgressTimer();
    face_.IdleAgain();
    poll.ended = true;
  }
  char jobName[kJobNameBufferSize] = "";
  if (std::optional<DeviceFamily> family = state_.FirstSelectedFamily()) {
    if (library_) {
      library_->GetJobName(*family, jobName);
      poll.progress = library_->GetProgress(*family);
    }
  }
  jobName[kJobNameBufferSize - 1] = '\0';
  poll.jobName = jobName;
  return poll;
}

void UpdateRoad::LogEnd(const std::string& how) {
  services_.Log().Write("update run ends: " + how);
}

std::optional<doctor::Report> UpdateRoad::Examine(std::int32_t port) {
  std::optional<doctor::Report> report = services_.ExaminePorts(port);
  if (report) {
    for (const std::string& line : report->Lines()) services_.Log().Write(line);
  }
  return report;
}
