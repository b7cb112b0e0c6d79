#include "ui/reset_prompt_dlg.h"

#include "run/cthread.h"
#include "run/update_face.h"
#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"
#include "window/ui_thread.h"

namespace {
constexpr int kDeviceFound = 1;
}

CResetPromptDlg::CResetPromptDlg() : CDialog(DialogTemplateById(IDD_RESET_PROMPT)) {}

CResetPromptDlg::~CResetPromptDlg() {
  if (worker_) worker_->RequestStop();
}

bool CResetPromptDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  StartWaitForReset();
  return true;
}

void CResetPromptDlg::OnOK() {}

void CResetPromptDlg::OnCancel() {
  // The run is abandoned: its job must neither go on using the port nor
  // close a later showing.
  if (worker_) worker_->RequestStop();
  CDialog::OnCancel();
}

void CResetPromptDlg::StartWaitForReset() {
  if (worker_) worker_->RequestStop();
  worker_ = waits_ ? waits_->NewWaitForReset() : nullptr;
  if (!worker_) return;  // the prompt stays open until cancelled
  // The worker object lives only as long as this prompt keeps it, so a
  // live weak reference also vouches for the prompt.
  std::weak_ptr<CThread> worker = worker_;
  worker_->SetFoundHandler([this, worker] {
    PostToUiThread([this, worker] {
      if (std::shared_ptr<CThread> finder = worker.lock()) CloseWhenFoundBy(*finder);
    });
  });
  worker_->ResumeThread();
}

void CResetPromptDlg::AwaitJob() {
  if (worker_) worker_->RequestStopAndWait();
}

void CResetPromptDlg::CloseWhenFoundBy(const CThread& finder) {
  // Only the job of this showing may close it, and only if not cancelled.
  if (&finder != worker_.get() || finder.StopRequested() || !IsOpen()) return;
  EndDialog(kDeviceFound);
}

BEGIN_MESSAGE_MAP(CResetPromptDlg, CDialog)
END_MESSAGE_MAP()
