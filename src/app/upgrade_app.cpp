#include "app/upgrade_app.h"

#include "doctor/machine_doctor.h"
#include "platform/exe_path.h"
#include "ui/program_resources.h"
#include "ui/reset_prompt_dlg.h"
#include "ui/upgrade_dlg.h"

CUpgradeApp::CUpgradeApp() : CUpgradeApp(platform::Profile::ForThisProgram()) {}

CUpgradeApp::CUpgradeApp(platform::Profile profile)
    : profile_(std::move(profile)),
      log_(platform::SupportLogPath(), platform::ExecutableBaseName()),
      library_(log_) {}

CUpgradeApp::~CUpgradeApp() = default;

bool CUpgradeApp::InitInstance() {
  InstallProgramResources();
  resetPrompt_ = std::make_unique<CResetPromptDlg>();
  CUpgradeDlg mainWindow(*this);
  catalogue_.ScanFirmwareFiles();
  mainWindow.DoModal();
  return false;
}

int CUpgradeApp::GetProfileInt(const std::string& section, const std::string& key,
                               int defaultValue) {
  return profile_.GetInt(section, key, defaultValue);
}

platform::Result<> CUpgradeApp::WriteProfileInt(const std::string& section, const std::string& key,
                                                int value) {
  return profile_.WriteInt(section, key, value);
}

LibraryResult CUpgradeApp::Library() { return library_.Library(catalogue_.GetExeDirectory()); }

std::optional<doctor::Report> CUpgradeApp::ExaminePorts(std::int32_t port) {
  return doctor::ExamineMachine(port);
}

// Outside InitInstance (tests that build the window on their own) the
// prompt is made on first use.
CResetPromptDlg& CUpgradeApp::ResetPrompt() {
  if (!resetPrompt_) resetPrompt_ = std::make_unique<CResetPromptDlg>();
  return *resetPrompt_;
}
