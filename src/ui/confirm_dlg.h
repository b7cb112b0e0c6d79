#pragma once
// The update confirmation: the version on the connected device and the one
// about to be written; Proceed or Cancel.

#include <string>

#include "window/dialog.h"

class CConfirmDlg : public CDialog {
 public:
  CConfirmDlg();
  ~CConfirmDlg() override;

  void SetDeviceVersionText(std::string text) { deviceVersionText_ = std::move(text); }
  void SetNewVersionText(std::string text) { newVersionText_ = std::move(text); }

 protected:
  void DoDataExchange(CDataExchange* dx) override;

 private:
  std::string deviceVersionText_;
  std::string newVersionText_;

  DECLARE_MESSAGE_MAP()
};

// The two texts, with the given version texts taken literally.
std::string ConfirmDeviceVersionText(const std::string& installedVersion);
std::string ConfirmNewVersionText(const std::string& firmwareVersion);
