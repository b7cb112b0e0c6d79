#pragma once
// The About box: the program's name and the product version read from the
// executable's own version block each time the box opens.

#include <string>

#include "window/dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();

  bool OnInitDialog() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;

 private:
  std::string toolName_;
  std::string version_;

  DECLARE_MESSAGE_MAP()
};
