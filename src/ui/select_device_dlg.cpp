#include "ui/select_device_dlg.h"

#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"

namespace {
// The icon's blink timer; the dialog has no other.
constexpr unsigned kSelectBlinkTimer = 1;
}  // namespace

CSelectDeviceDlg::CSelectDeviceDlg() : CDialog(DialogTemplateById(IDD_SELECT_DEVICE)) {}
CSelectDeviceDlg::~CSelectDeviceDlg() = default;

void CSelectDeviceDlg::AddDevice(const std::string& displayName) {
  if (!displayName.empty()) candidates_.push_back(displayName);
}

int CSelectDeviceDlg::GetDeviceCount() const { return static_cast<int>(candidates_.size()); }

std::string CSelectDeviceDlg::GetDevice(int index) const {
  if (index < 0 || index >= GetDeviceCount()) return {};
  return candidates_[static_cast<std::size_t>(index)];
}

std::string CSelectDeviceDlg::GetSelection() const { return selection_; }

void CSelectDeviceDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_SELECT_ICON, icon_);
  DDX_Control(dx, IDC_DEVICE_LIST, deviceList_);
}

bool CSelectDeviceDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (const std::string& candidate : candidates_) deviceList_.AddString(candidate);
  deviceList_.SetCurSel(0);
  selection_ = deviceList_.GetCount() > 0 ? deviceList_.GetLBText(0) : std::string();
  SetTimer(kSelectBlinkTimer, kTimerPeriodMs);
  return true;  // focus to the first tab stop, the OK button
}

void CSelectDeviceDlg::OnSelchangeDeviceList() {
  const int index = deviceList_.GetCurSel();
  if (index != CB_ERR) selection_ = deviceList_.GetLBText(index);
}

void CSelectDeviceDlg::OnTimer(unsigned timerId) {
  if (timerId == kSelectBlinkTimer) icon_.ShowWindow(icon_.IsWindowVisible() ? SW_HIDE : SW_SHOW);
  Default();
}

void CSelectDeviceDlg::OnOK() {
  KillTimer(kSelectBlinkTimer);
  CDialog::OnOK();
}

void CSelectDeviceDlg::OnCancel() {
  KillTimer(kSelectBlinkTimer);
  CDialog::OnCancel();
}

BEGIN_MESSAGE_MAP(CSelectDeviceDlg, CDialog)
ON_CBN_SELCHANGE(IDC_DEVICE_LIST, OnSelchangeDeviceList)
ON_WM_TIMER()
END_MESSAGE_MAP()
