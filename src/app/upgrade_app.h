#pragma once
// The application object: owns the firmware catalogue, the profile, the
// device library and the one reset prompt, and runs the main window. The
// program ends when the main window closes.

#include <memory>
#include <string>

#include "platform/profile.h"
#include "run/library_loader.h"
#include "ui/upgrade_environment.h"

class CUpgradeApp : public UpgradeEnvironment {
 public:
  // The running program's own profile.
  CUpgradeApp();
  explicit CUpgradeApp(platform::Profile profile);
  ~CUpgradeApp() override;

  // Creates the reset prompt, builds the main window, finds the firmware
  // files, runs the main window modally until it closes, and returns false:
  // there is nothing more to run. Needs an installed backend.
  bool InitInstance();

  const FirmwareCatalogue& Catalogue() const override { return catalogue_; }
  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
  platform::Result<> WriteProfileInt(const std::string& section, const std::string& key,
                                     int value) override;
  LibraryResult Library() override;
  CResetPromptDlg& ResetPrompt() override;
  platform::SupportLog& Log() override { return log_; }
  std::optional<doctor::Report> ExaminePorts(std::int32_t port) override;

 private:
  // Created by InitInstance and kept until the application object goes.
  std::unique_ptr<CResetPromptDlg> resetPrompt_;
  FirmwareCatalogue catalogue_;
  platform::Profile profile_;

  platform::SupportLog log_;
  LibraryLoader library_;
};
