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

platform::Result<> CUpgradeApp::WriteProfileInt(const std::string& section, const std::string& key,
                                                int value) {
  return profile_.WriteInt(section, key, value);
}

// Loaded once and kept; a failed load is tried again on the next request,
// so that a library put in place later is found without a restart.
LibraryResult CUpgradeApp::Library() {
  std::lock_guard lock(libraryMutex_);
  if (library_) return library_;
  LibraryResult loaded = LoadDeviceLibrary(catalogue_.GetExeDirectory());
  if (!loaded) {
    log_.Write("device library not loaded: " + loaded.error().error.Describe());
    return loaded;
  }
  library_ = WithCallLog(std::move(*loaded), log_);
  return library_;
}

// Outside InitInstance (tests that build the window on their own) the
// prompt is made on first use.
CResetPromptDlg& CUpgradeApp::ResetPrompt() {
  if (!resetPrompt_) resetPrompt_ = std::make_unique<CResetPromptDlg>();
  return *resetPrompt_;
}
