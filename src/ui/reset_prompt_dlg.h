#pragma once
// The reset prompt: asks the user to press the device's RESET button while a
// worker polls the port. One object for the life of the program; each
// showing starts a new wait-for-reset job, which closes the prompt with
// result 1 when the device answers.

#include <memory>

#include "window/dialog.h"

class CThread;
class ResetWaits;

class CResetPromptDlg : public CDialog {
 public:
  CResetPromptDlg();
  // Stops the last job, so that it polls no more.
  ~CResetPromptDlg() override;

  // The run whose jobs poll the port; set before each showing.
  void SetWaits(ResetWaits* waits) { waits_ = waits; }

  bool OnInitDialog() override;
  // There is no OK button: Enter must not pass for "device found".
  void OnOK() override;
  // Cancel, Escape and the close box: stops the job, then closes with 2.
  void OnCancel() override;

  void StartWaitForReset();
  // Stops the job of the last showing and returns once it is outside the
  // device library, so that a run never ends with a call on its port.
  void AwaitJob();

 private:
  // On the user-interface thread, when finder's job found the device.
  void CloseWhenFoundBy(const CThread& finder);

  ResetWaits* waits_ = nullptr;
  std::shared_ptr<CThread> worker_;

  DECLARE_MESSAGE_MAP()
};
