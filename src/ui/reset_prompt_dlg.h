#pragma once
// The reset prompt: asks the user to press the device's RESET button while a
// worker polls the port. One object for the life of the program.

#include "window/dialog.h"

class CResetPromptDlg : public CDialog {
 public:
  CResetPromptDlg();
  ~CResetPromptDlg() override;

  DECLARE_MESSAGE_MAP()
};
