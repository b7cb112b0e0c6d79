// The update run as the main window shows it: Start Update hands the run to
// the road, which asks back through the dialogs; the two layouts and the
// timers.
#include <memory>
#include <optional>
#include <string>

#include "core/user_texts.h"
#include "doctor/report.h"
#include "run/progress_text.h"
#include "ui/confirm_dlg.h"
#include "ui/reset_prompt_dlg.h"
#include "ui/resource_ids.h"
#include "ui/upgrade_dlg.h"
#include "window/ui_thread.h"

namespace {

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

void CUpgradeDlg::OnStartUpdate() {
  WaitCursorScope waitCursor;
  RunScope run(runInProgress_);

  std::int32_t port = ReadSavedPort();
  LogRunBegin(port);
  const bool started = road_.Start(port);
  // The list found no port: after "Please Select a COM port!!!", why not,
  // when the port doctor knows.
  if (!started && port < 1 && !PortsListed()) {
    const std::optional<doctor::Report>& examination = road_.LastExamination();
    if (const doctor::Finding* cause = examination ? examination->MainFinding(0) : nullptr)
      ShowMessage(doctor::Message(*cause));
  }
}

void CUpgradeDlg::ShowMessage(const std::string& text) { AfxMessageBox(text); }

// The device does not answer: the user must press RESET while a job polls.
// Only the job's own result counts as found; a prompt that could not open
// ends the run like a cancel.
bool CUpgradeDlg::ShowResetPrompt(ResetWaits& waits) {
  CResetPromptDlg& prompt = environment_.ResetPrompt();
  prompt.SetWaits(&waits);
  const bool found = prompt.DoModal() == kDeviceFound;
  prompt.SetWaits(nullptr);
  return found;
}

bool CUpgradeDlg::ConfirmUpdate(std::string installedVersion) {
  return road_.ConfirmUpdate(installedVersion);
}

bool CUpgradeDlg::ShowConfirmation(const std::string& installedVersion,
                                   const std::optional<std::string>& newVersion) {
  CConfirmDlg dialog;
  if (newVersion) dialog.SetNewVersionText(ConfirmNewVersionText(*newVersion));
  dialog.SetDeviceVersionText(ConfirmDeviceVersionText(installedVersion));
  return dialog.DoModal() == IDOK;
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

void CUpgradeDlg::RestoreIdleLayoutControls() {
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
}

// After the download's worker has gone and the progress timer stopped.
void CUpgradeDlg::ResumeIdleTimers() {
  SetTimer(kBlinkTimer, kTimerPeriodMs);
  transferring_ = false;
}

void CUpgradeDlg::OnTimer(unsigned timerId) {
  UpdateData(true);
  if (timerId == kProgressTimer) {
    const DownloadPoll poll = road_.PollProgress(kCompletionWaitMs);
    progressBar_.SetPos(poll.progress);
    percentageText_ = FormatProgressText(poll.progress);
    jobNameText_ = poll.jobName;
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
