// The update run on the main window: Start Update from the port check to a
// running download, the confirmation, the download job, the two layouts and
// the timers.
#include <memory>
#include <optional>
#include <string>

#include "core/user_texts.h"
#include "identify/device_library.h"
#include "identify/library_results.h"
#include "platform/named_event.h"
#include "run/cthread.h"
#include "run/progress_text.h"
#include "ui/confirm_dlg.h"
#include "ui/reset_prompt_dlg.h"
#include "ui/resource_ids.h"
#include "ui/upgrade_dlg.h"
#include "window/ui_thread.h"

namespace {

std::string Text(UserText code) { return std::string(UserTextOf(code)); }

constexpr unsigned kCompletionWaitMs = 100;
constexpr int kDeviceFound = 1;
constexpr int kPlayForever = -1;
constexpr int kFirstFrame = 0;
constexpr int kLastFrame = -1;

// Shows the wait cursor for one press of Start Update, and hides it on every
// way out of the handler.
class WaitCursorScope {
 public:
  WaitCursorScope() { BeginWaitCursor(); }
  ~WaitCursorScope() { EndWaitCursor(); }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};

// Marks the window busy with a run for one press of Start Update.
class RunScope {
 public:
  explicit RunScope(bool& inProgress) : inProgress_(inProgress) { inProgress_ = true; }
  ~RunScope() { inProgress_ = false; }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  bool& inProgress_;
};

}  // namespace

std::int32_t CUpgradeDlg::ReadSavedPort() {
  return environment_.GetProfileInt(kSettingsSection, kPortKey, 0);
}

std::shared_ptr<DeviceLibrary> CUpgradeDlg::JobLibrary() {
  std::lock_guard lock(jobLibraryMutex_);
  return jobLibrary_;
}

std::shared_ptr<CThread> CUpgradeDlg::BeginWorker() { return environment_.BeginWorker(); }

void CUpgradeDlg::OnStartUpdate() {
  WaitCursorScope waitCursor;
  RunScope run(runInProgress_);

  std::int32_t port = ReadSavedPort();
  LogRunBegin(port);
  if (port < 1) {
    LogRunEnd("no port chosen");
    AfxMessageBox(Text(UserText::SelectPort));
    return;
  }
  LibraryResult library = environment_.Library();
  if (!library) {
    LogRunEnd("the device library could not be loaded (" + library.error().error.Describe() + ")");
    AfxMessageBox(library.error().userText);
    ResetRunState();
    return;
  }
  {
    std::lock_guard lock(jobLibraryMutex_);
    jobLibrary_ = *library;
  }
  // One library call on the port at a time: a job of an earlier run still
  // inside the library would make this run's first query fail to open it.
  AwaitJobsOutOfLibrary();

  ReachedDevice device = ReachDevice(runState_, **library, port, *this);
  if (!device.reached) {
    LogRunEnd("no device reached, or the user made no choice");
    ResetRunState();
    return;
  }
  if (!ConfirmUpdate(device.installedVersion)) {
    LogRunEnd("the user did not confirm the update");
    ResetRunState();
    return;
  }
  RestoreWaitCursor();
  StartDownload();
}

// The device does not answer: the user must press RESET while a job polls.
// Only the job's own result counts as found; a prompt that could not open
// ends the run like a cancel.
bool CUpgradeDlg::AwaitReset() {
  CResetPromptDlg& prompt = environment_.ResetPrompt();
  prompt.SetOwner(this);
  return prompt.DoModal() == kDeviceFound;
}

bool CUpgradeDlg::CatchBootLoader() {
  RestoreWaitCursor();
  return CatchBootWithin(*this, currentWorker_, givenUpWorker_,
                         [this](unsigned ms) { environment_.Sleep(ms); });
}

void CUpgradeDlg::ReportNotDetected() { AfxMessageBox(Text(UserText::NotDetected)); }

void CUpgradeDlg::AwaitJobsOutOfLibrary() {
  RestoreWaitCursor();
  if (givenUpWorker_) givenUpWorker_->RequestStopAndWait();
  givenUpWorker_.reset();
  environment_.ResetPrompt().AwaitJob();
}

void CUpgradeDlg::StartDownload() {
  currentWorker_ = BeginWorker();  // its mode stays the download's
  // Reset before the timer starts: left signalled from an earlier download,
  // the first tick would take it for the end of this one.
  if (completionEvent_) completionEvent_->Reset();
  SetTimer(kProgressTimer, kTimerPeriodMs);
  if (!currentWorker_ || !completionEvent_) {
    KillTimer(kProgressTimer);
    currentWorker_.reset();
    ResetRunState();
    LogRunEnd(completionEvent_ ? "no worker thread"
                               : "no completion event (" + completionEventError_ + ")");
    AfxMessageBox(Text(completionEvent_ ? UserText::NoWorkerThread : UserText::NoCompletionEvent));
    return;
  }
  currentWorker_->SetCompletionEvent(completionEvent_);
  EnterTransferLayout();
  currentWorker_->SetOwner(this);
  currentWorker_->ResumeThread();
}

std::shared_ptr<platform::NamedEvent> CUpgradeDlg::OpenCompletionEvent(const std::string& name) {
  auto event = environment_.OpenEvent(name);
  if (event) return *event;
  completionEventError_ = event.error().Describe();
  environment_.Log().Write("completion event not made: " + completionEventError_);
  return nullptr;
}

bool CUpgradeDlg::ConfirmUpdate(std::string installedVersion) {
  CConfirmDlg dialog;
  if (std::optional<DeviceFamily> family = runState_.FirstSelectedFamily()) {
    std::string version = GetFirmwareVersionText(environment_.Catalogue().GetFirmwarePath(*family));
    dialog.SetNewVersionText(ConfirmNewVersionText(version));
    completionEvent_ = OpenCompletionEvent(std::string(Family(*family).eventName));
  } else {
    completionEvent_.reset();
  }
  // Without an event of its own (no family selected, or the named one could
  // not be made) the run gets a private one: it must never wait on or
  // signal the event of another run.
  if (!completionEvent_) completionEvent_ = OpenCompletionEvent("");
  dialog.SetDeviceVersionText(ConfirmDeviceVersionText(installedVersion));
  return dialog.DoModal() == IDOK;
}

void CUpgradeDlg::DownloadFirmware() {
  std::string message;
  std::int32_t port = ReadSavedPort();
  bool updated = false;
  if (std::shared_ptr<DeviceLibrary> library = JobLibrary())
    updated = DownloadSelectedFirmware(
        runState_, *library,
        [this](DeviceFamily family) { return environment_.Catalogue().GetFirmwarePath(family); },
        port);
  message += Text(updated ? UserText::Updated : UserText::NotUpdated);
  LogRunEnd(updated ? "the firmware was updated"
                    : "the firmware was not updated (the device library's lines above name the "
                      "stage and the cause)");
  // Shown by the user-interface thread; this job waits until it is dismissed.
  AfxMessageBox(message);
  ResetRunState();
}

void CUpgradeDlg::EnterTransferLayout() {
  KillTimer(kBlinkTimer);
  startUpdateButton_.EnableWindow(false);
  exitButton_.EnableWindow(false);
  informationPanel_.ShowWindow(SW_HIDE);
  warningIcon_.ShowWindow(SW_HIDE);
  warningPanel_.ShowWindow(SW_HIDE);
  progressBar_.ShowWindow(SW_SHOW);
  percentageLine_.ShowWindow(SW_SHOW);
  jobNameLine_.ShowWindow(SW_SHOW);
  portList_.EnableWindow(false);
  animation_.Open(IDR_TRANSFER_AVI);
  animation_.Play(kFirstFrame, kLastFrame, kPlayForever);
  animation_.ShowWindow(SW_SHOW);
  transferring_ = true;
}

void CUpgradeDlg::RestoreIdleLayout() {
  startUpdateButton_.EnableWindow(true);
  exitButton_.EnableWindow(true);
  informationPanel_.ShowWindow(SW_SHOW);
  warningIcon_.ShowWindow(SW_SHOW);
  warningPanel_.ShowWindow(SW_SHOW);
  progressBar_.ShowWindow(SW_HIDE);
  percentageLine_.ShowWindow(SW_HIDE);
  jobNameLine_.ShowWindow(SW_HIDE);
  animation_.ShowWindow(SW_HIDE);
  animation_.Stop();
  portList_.EnableWindow(true);
  // The job has signalled its end; its thread only has to return.
  currentWorker_->Join();
  currentWorker_.reset();
  KillTimer(kProgressTimer);
  SetTimer(kBlinkTimer, kTimerPeriodMs);
  transferring_ = false;
}

void CUpgradeDlg::OnTimer(unsigned timerId) {
  UpdateData(true);
  if (timerId == kProgressTimer) {
    if (completionEvent_) completionEvent_->Wait(kCompletionWaitMs);
    // The event's name is system-wide: another instance updating the same
    // family may set or reset it. Only our own job's end counts, so the
    // window neither waits on another run nor stays locked forever.
    if (currentWorker_ && currentWorker_->DownloadDone()) RestoreIdleLayout();

    std::int32_t progress = 0;
    char jobName[kJobNameBufferSize] = "";
    if (std::optional<DeviceFamily> family = runState_.FirstSelectedFamily()) {
      if (std::shared_ptr<DeviceLibrary> library = JobLibrary()) {
        library->GetJobName(*family, jobName);
        progress = library->GetProgress(*family);
      }
    }
    jobName[kJobNameBufferSize - 1] = '\0';
    progressBar_.SetPos(progress);
    percentageText_ = FormatProgressText(progress);
    jobNameText_ = jobName;
    UpdateData(false);
  } else if (timerId == kBlinkTimer) {
    warningIcon_.ShowWindow(blinkFlag_ ? SW_HIDE : SW_SHOW);
    blinkFlag_ = !blinkFlag_;
  }
  Default();
}

// While a download writes to the device, closing the program would leave the
// remote without a working firmware: Escape, the close box and Enter are
// refused until the window is idle again.
void CUpgradeDlg::OnOK() {
  if (transferring_) return;
  CDialog::OnOK();
}

void CUpgradeDlg::OnCancel() {
  if (transferring_) return;
  CDialog::OnCancel();
}
