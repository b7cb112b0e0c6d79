#pragma once
// An application environment for tests of the main window: firmware files in
// a folder of the test's own, an in-memory profile, and serial ports that
// open or not as the test says.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "ui/upgrade_environment.h"
#include "ui/reset_prompt_dlg.h"

class ShellEnvironment : public UpgradeEnvironment {
 public:
  ShellEnvironment() {
    folder_ = std::filesystem::temp_directory_path() /
              ("reflint-shell-" + std::to_string(getpid()) + "-" + std::to_string(++counter_));
    std::filesystem::create_directories(folder_);
  }
  ~ShellEnvironment() override { std::filesystem::remove_all(folder_); }

  // Puts firmware files beside a pretend executable and scans for them.
  void AddFirmwareFiles(std::initializer_list<const char*> names) {
    for (const char* name : names) std::ofstream(folder_ / name) << "firmware";
    catalogue_.ScanFirmwareFiles((folder_ / "reflint").string());
  }
  void SetOpenPorts(std::set<int> ports) {
    std::lock_guard lock(mutex_);
    openPorts_ = std::move(ports);
  }
  std::optional<int> SavedPort() const {
    std::lock_guard lock(mutex_);
    auto it = profile_.find(std::string(kSettingsSection) + "/" + kPortKey);
    if (it == profile_.end()) return std::nullopt;
    return it->second;
  }
  void SetSavedPort(int port) { WriteProfileInt(kSettingsSection, kPortKey, port); }
  int writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

  const FirmwareCatalogue& Catalogue() const override { return catalogue_; }
  int GetProfileInt(const std::string& section, const std::string& key,
                    int defaultValue) override {
    std::lock_guard lock(mutex_);
    auto it = profile_.find(section + "/" + key);
    return it == profile_.end() ? defaultValue : it->second;
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override {
    std::lock_guard lock(mutex_);
    profile_[section + "/" + key] = value;
    ++writes_;
    return true;
  }
  std::shared_ptr<DeviceLibrary> Library(std::string* error) override {
    if (error != nullptr) *error = "no library in this test";
    return nullptr;
  }
  CResetPromptDlg& ResetPrompt() override { return resetPrompt_; }
  bool ProbePort(int n) override {
    std::lock_guard lock(mutex_);
    return openPorts_.count(n) > 0;
  }

 private:
  static inline int counter_ = 0;
  std::filesystem::path folder_;
  FirmwareCatalogue catalogue_;
  std::set<int> openPorts_;
  mutable std::mutex mutex_;
  std::map<std::string, int> profile_;
  int writes_ = 0;
  CResetPromptDlg resetPrompt_;
};
