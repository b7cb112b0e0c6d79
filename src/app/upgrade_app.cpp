#include "app/upgrade_app.h"

#include "identify/call_log_library.h"
#include "identify/kestra2g_library.h"
#include "platform/exe_path.h"
#include "ui/program_resources.h"
#include "ui/reset_prompt_dlg.h"
#include "ui/upgrade_dlg.h"

CUpgradeApp::CUpgradeApp() : CUpgradeApp(platform::Profile::ForThisProgram()) {}

CUpgradeApp::CUpgradeApp(platform::Profile profile)
    : profile_(std::move(profile)),
      log_(platform::SupportLogPath(), platform::ExecutableBaseName()) {}

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

bool CUpgradeApp::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return profile_.WriteInt(section, key, value);
}

// Loaded once and kept; a failed load is tried again on the next request,
// so that a library put in place later is found without a restart.
std::shared_ptr<DeviceLibrary> CUpgradeApp::Library(std::string* error) {
  std::lock_guard lock(libraryMutex_);
  if (!library_) {
    std::string text;
    std::string systemReason;
    library_ = WithCallLog(LoadDeviceLibrary(catalogue_.GetExeDirectory(), &text, &systemReason),
                           log_);
    if (!library_) log_.Write("device library not loaded: " + text + " " + systemReason);
    if (!library_ && error != nullptr) *error = std::move(text);
  }
  return library_;
}

// Outside InitInstance (tests that build the window on their own) the
// prompt is made on first use.
CResetPromptDlg& CUpgradeApp::ResetPrompt() {
  if (!resetPrompt_) resetPrompt_ = std::make_unique<CResetPromptDlg>();
  return *resetPrompt_;
}
