// Placeholder definitions so that the program links while the window's
// opening is being written.
#include "ui/upgrade_dlg.h"

#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"

CUpgradeDlg::CUpgradeDlg(UpgradeEnvironment& environment)
    : CDialog(DialogTemplateById(IDD_UPGRADE_DIALOG)), environment_(environment),
      icon_(IDR_MAINFRAME) {
  ResetRunState();
}
CUpgradeDlg::~CUpgradeDlg() = default;
void CUpgradeDlg::DoDataExchange(CDataExchange* dx) { CDialog::DoDataExchange(dx); }
void CUpgradeDlg::MarkAvailableFamilies() {}
bool CUpgradeDlg::HasAcceptedPrefix(const std::string&) const { return false; }
std::string CUpgradeDlg::GetFirmwareVersionText(const std::string&) { return {}; }
bool CUpgradeDlg::OnInitDialog() { return CDialog::OnInitDialog(); }
void CUpgradeDlg::ComposeInformationText() {}
void CUpgradeDlg::FillPortList() {}
void CUpgradeDlg::OnSysCommand(unsigned, std::intptr_t) {}
void CUpgradeDlg::OnPaint() {}
std::intptr_t CUpgradeDlg::OnQueryDragIcon() { return icon_; }
void CUpgradeDlg::OnSelchangePort() {}

BEGIN_MESSAGE_MAP(CUpgradeDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_CBN_SELCHANGE(IDC_PORT_LIST, OnSelchangePort)
ON_BN_CLICKED(IDC_START_UPDATE, OnStartUpdate)
ON_WM_TIMER()
END_MESSAGE_MAP()
