// The main window's opening, texts, port list, system menu and painting.
#include "ui/upgrade_dlg.h"

#include <string>
#include <vector>

#include "catalogue/version_naming.h"
#include "core/user_texts.h"
#include "ui/about_dlg.h"
#include "ui/dialog_templates.h"
#include "ui/minimised_icon.h"
#include "ui/resource_ids.h"
#include "window/resources.h"

namespace {

std::string PortName(int port) { return "COM" + std::to_string(port); }

}  // namespace

CUpgradeDlg::CUpgradeDlg(UpgradeEnvironment& environment)
    : CDialog(DialogTemplateById(IDD_UPGRADE_DIALOG)),
      environment_(environment),
      icon_(IDR_MAINFRAME),
      road_(runState_, environment, face_, [&environment](DeviceFamily family) {
        return environment.Catalogue().GetFirmwarePath(family);
      }) {
  ResetRunState();
}

CUpgradeDlg::~CUpgradeDlg() = default;

void CUpgradeDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_ANIMATION, animation_);
  DDX_Control(dx, IDC_JOBNAME, jobNameLine_);
  DDX_Control(dx, IDC_PERCENT, percentageLine_);
  DDX_Control(dx, IDC_INFO, informationPanel_);
  DDX_Control(dx, IDC_PROGRESS, progressBar_);
  DDX_Control(dx, IDC_START_UPDATE, startUpdateButton_);
  DDX_Control(dx, IDCANCEL, exitButton_);
  DDX_Control(dx, IDC_PORT_LIST, portList_);
  DDX_Control(dx, IDC_WARNING_TEXT, warningPanel_);
  DDX_Control(dx, IDC_WARNING_ICON, warningIcon_);
  DDX_Text(dx, IDC_INFO, informationText_);
  DDX_Text(dx, IDC_WARNING_TEXT, warningText_);
  DDX_Text(dx, IDC_PERCENT, percentageText_);
  DDX_Text(dx, IDC_JOBNAME, jobNameText_);
}

void CUpgradeDlg::MarkAvailableFamilies() {
  ::MarkAvailableFamilies(environment_.Catalogue(), runState_);
}

bool CUpgradeDlg::HasAcceptedPrefix(const std::string& name) const {
  return ::HasAcceptedPrefix(name, runState_);
}

std::string CUpgradeDlg::GetFirmwareVersionText(const std::string& path) {
  return ::GetFirmwareVersionText(path, environment_.Catalogue().GetExeDirectory(), runState_)
      .value_or(std::string(UserTextOf(UserText::MissingFirmware)));
}

bool CUpgradeDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  const std::string aboutEntry = LoadStringResource(IDS_ABOUTBOX);
  if (!aboutEntry.empty()) AppendSystemMenuItem(IDM_ABOUTBOX, aboutEntry);

  SetIcon(icon_, true);
  SetIcon(icon_, false);

  MarkAvailableFamilies();
  ComposeInformationText();
  FillPortList();
  UpdateData(false);

  if (!runState_.HasValidFirmware()) startUpdateButton_.EnableWindow(false);
  SetTimer(kBlinkTimer, kTimerPeriodMs);
  return true;
}

void CUpgradeDlg::ComposeInformationText() {
  informationText_.clear();
  warningText_.clear();
  for (DeviceFamily family : kExaminationOrder) {
    if (!runState_.IsAvailable(family)) continue;
    const FamilyInfo& info = Family(family);
    informationText_ += info.introductionLine;
    informationText_ += kFirmwareVersionLabel;
    informationText_ += GetFirmwareVersionText(environment_.Catalogue().GetFirmwarePath(family));
    informationText_ += kFamilySeparator;
    warningText_ = UserTextOf(UserText::SaveConfigWarning);
  }
  informationText_ += kSupportedDevicesHeading;
  for (DeviceFamily family : kExaminationOrder) {
    if (runState_.IsAvailable(family)) informationText_ += Family(family).supportedDeviceLine;
  }
}

CPortScan CUpgradeDlg::ScanPorts() {
  return CPortScan([this](int n) { return environment_.ProbePort(n); });
}

// Puts the ports found in the list; with none, the one item "No ports
// found", selected. False in that case.
bool CUpgradeDlg::ListPorts(const CPortScan& scan) {
  portList_.ResetContent();
  if (scan.GetCount() == 0) {
    const int index = portList_.AddString(std::string(UserTextOf(UserText::NoPorts)));
    if (index != CB_ERR) {
      portList_.SetItemData(index, 0);
      portList_.SetCurSel(0);
    }
    return false;
  }
  for (int i = 0; i < scan.GetCount(); ++i) {
    const int index = portList_.AddString(PortName(scan.GetAt(i)));
    if (index != CB_ERR) portList_.SetItemData(index, static_cast<std::uint32_t>(scan.GetAt(i)));
  }
  return true;
}

bool CUpgradeDlg::PortsListed() {
  return portList_.GetCount() > 0 && portList_.GetItemData(0) != 0;
}

// Prefix match as the list control does it: a saved COM1 finds COM10.
void CUpgradeDlg::SelectSavedPort(int saved) {
  const int index = portList_.SelectString(-1, PortName(saved));
  if (index != CB_ERR) portList_.SetCurSel(index);
}

void CUpgradeDlg::FillPortList() {
  const CPortScan scan = ScanPorts();
  const bool found = ListPorts(scan);
  const int saved = environment_.GetProfileInt(kSettingsSection, kPortKey, 0);
  if (!found) return;  // the saved setting is not touched

  if (saved != 0) {
    SelectSavedPort(saved);
    return;
  }
  // No saved port yet: the lowest port found becomes the saved one. An item
  // the list refused holds no port number, so nothing is written then.
  if (portList_.SetCurSel(0) != CB_ERR) SavePort(static_cast<int>(portList_.GetItemData(0)));
}

// The user is not told (the port stays chosen for this session); the
// support log keeps why.
void CUpgradeDlg::SavePort(int port) {
  if (auto saved = environment_.WriteProfileInt(kSettingsSection, kPortKey, port); !saved) {
    environment_.Log().Write("the chosen port COM" + std::to_string(port) +
                             " was not saved: " + saved.error().Describe());
  }
}

void CUpgradeDlg::RefreshPortList() {
  if (transferring_ || runInProgress_) return;
  const CPortScan scan = ScanPorts();
  std::vector<std::uint32_t> found;
  for (int i = 0; i < scan.GetCount(); ++i)
    found.push_back(static_cast<std::uint32_t>(scan.GetAt(i)));
  if (found.empty()) found.push_back(0);  // "No ports found"
  std::vector<std::uint32_t> listed;
  for (int i = 0; i < portList_.GetCount(); ++i) listed.push_back(portList_.GetItemData(i));
  if (listed == found) return;  // leave the list, and a drop-down being opened, alone

  const int current = portList_.GetCurSel();
  const std::uint32_t selected = current == CB_ERR ? 0 : portList_.GetItemData(current);
  if (!ListPorts(scan)) return;
  for (int i = 0; selected != 0 && i < portList_.GetCount(); ++i) {
    if (portList_.GetItemData(i) == selected) {
      portList_.SetCurSel(i);
      return;
    }
  }
  // The selected port went (or there was none): as at opening, but a list
  // filled without the user's choice writes nothing.
  const int saved = environment_.GetProfileInt(kSettingsSection, kPortKey, 0);
  if (saved != 0) SelectSavedPort(saved);
}

void CUpgradeDlg::OnSelchangePort() {
  const int index = portList_.GetCurSel();
  SavePort(index == CB_ERR ? 0 : static_cast<int>(portList_.GetItemData(index)));
}

// A cable plugged in after the program started: the list is probed again
// each time the user opens it, and when the system reports a device change.
void CUpgradeDlg::OnDropdownPort() { RefreshPortList(); }

void CUpgradeDlg::OnDeviceChange() { RefreshPortList(); }

void CUpgradeDlg::OnSysCommand(unsigned commandId, std::intptr_t) {
  if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    Default();
  }
}

void CUpgradeDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  const PixelSize client = Peer()->ClientSize();
  const PixelSize icon = Peer()->SystemIconSize();
  Peer()->DrawIcon(CentredIconOffset(client.cx, icon.cx), CentredIconOffset(client.cy, icon.cy),
                   icon_);
}

std::intptr_t CUpgradeDlg::OnQueryDragIcon() { return icon_; }

BEGIN_MESSAGE_MAP(CUpgradeDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_CBN_SELCHANGE(IDC_PORT_LIST, OnSelchangePort)
ON_CBN_DROPDOWN(IDC_PORT_LIST, OnDropdownPort)
ON_WM_DEVICECHANGE()
ON_BN_CLICKED(IDC_START_UPDATE, OnStartUpdate)
ON_WM_TIMER()
END_MESSAGE_MAP()
