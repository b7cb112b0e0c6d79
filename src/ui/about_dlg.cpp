#include "ui/about_dlg.h"

#include "core/user_texts.h"
#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"
#include "ui/version_info.h"

CAboutDlg::CAboutDlg() : CDialog(DialogTemplateById(IDD_ABOUTBOX)) {}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_TOOLNAME, toolName_);
  DDX_Text(dx, IDC_VERSION, version_);
}

bool CAboutDlg::OnInitDialog() {
  const CVersionInfo versionInfo;
  CDialog::OnInitDialog();
  toolName_ = UserTextOf(UserText::ToolName);
  const std::optional<std::string> version = versionInfo.GetProductVersion();
  version_ = version ? std::string(UserTextOf(UserText::VersionPrefix)) + *version
                     : std::string(UserTextOf(UserText::VersionUnknown));
  UpdateData(false);
  return true;
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()
