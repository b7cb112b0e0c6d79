#pragma once
// The application environment of the window tests: firmware files in a
// folder of the test's own, an in-memory profile, serial ports that open or
// not as the test says, a scripted device library (or none), a sleep that
// only records, and worker and event creation that can be refused.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "identify/fake_device_library.h"
#include "run/cthread.h"
#include "support/temp_folder.h"
#include "ui/reset_prompt_dlg.h"
#include "ui/upgrade_environment.h"

inline constexpr const char* kMissingLibraryText =
    "The device library Kestra2G could not be loaded.";

class TestEnvironment : public UpgradeEnvironment {
 public:
  // Puts firmware files beside a pretend executable and scans for them.
  TestEnvironment& AddFirmwareFiles(std::initializer_list<const char*> names) {
    for (const char* name : names) folder_.AddFile(name);
    catalogue_.ScanFirmwareFiles((folder_.Path() / "reflint").string());
    return *this;
  }
  TestEnvironment& SetOpenPorts(std::set<int> ports) {
    std::lock_guard lock(mutex_);
    openPorts_ = std::move(ports);
    return *this;
  }
  TestEnvironment& SetSavedPort(int port) {
    WriteProfileInt(kSettingsSection, kPortKey, port);
    return *this;
  }
  // Library() fails from now on, as when the library cannot be loaded.
  TestEnvironment& WithoutLibrary() {
    libraryMissing_.store(true);
    return *this;
  }

  std::optional<int> SavedPort() const {
    std::lock_guard lock(mutex_);
    auto it = profile_.find(std::string(kSettingsSection) + "/" + kPortKey);
    if (it == profile_.end()) return std::nullopt;
    return it->second;
  }
  int writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::vector<unsigned> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  // The most recent worker still alive, if any.
  std::shared_ptr<CThread> LastWorker() const {
    std::lock_guard lock(mutex_);
    return workers_.empty() ? nullptr : workers_.back().lock();
  }

  const FirmwareCatalogue& Catalogue() const override { return catalogue_; }
  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override {
    std::lock_guard lock(mutex_);
    auto it = profile_.find(section + "/" + key);
    return it == profile_.end() ? defaultValue : it->second;
  }
  platform::Result<> WriteProfileInt(const std::string& section, const std::string& key,
                                     int value) override {
    std::lock_guard lock(mutex_);
    profile_[section + "/" + key] = value;
    ++writes_;
    return {};
  }
  LibraryResult Library() override {
    if (libraryMissing_.load()) {
      return std::unexpected(LibraryUnavailable{
          kMissingLibraryText, platform::Refusal("libKestra2G.so", "load", "refused by the test")});
    }
    return library;
  }
  CResetPromptDlg& ResetPrompt() override { return resetPrompt_; }
  bool ProbePort(int n) override {
    std::lock_guard lock(mutex_);
    return openPorts_.count(n) > 0;
  }

  // The report set below, and the ports asked for.
  std::optional<doctor::Report> ExaminePorts(std::int32_t port) override {
    std::lock_guard lock(mutex_);
    examined_.push_back(port);
    return examination;
  }
  std::vector<int> Examined() const {
    std::lock_guard lock(mutex_);
    return examined_;
  }

  // Records the pause and runs the hook instead of sleeping.
  void Sleep(unsigned milliseconds) override {
    {
      std::lock_guard lock(mutex_);
      sleeps_.push_back(milliseconds);
    }
    if (sleepHook) sleepHook();
  }
  std::shared_ptr<CThread> BeginWorker() override {
    if (workersToRefuse.load() > 0) {
      --workersToRefuse;
      return nullptr;
    }
    std::shared_ptr<CThread> worker = CThread::Begin();
    std::lock_guard lock(mutex_);
    workers_.push_back(worker);
    return worker;
  }
  platform::Result<std::shared_ptr<platform::NamedEvent>> OpenEvent(
      const std::string& name) override {
    if (eventsToRefuse.load() > 0) {
      --eventsToRefuse;
      return platform::Fail(platform::Refusal(name, {}, "refused by the test"));
    }
    return platform::NamedEvent::Open(name);
  }

  std::shared_ptr<FakeDeviceLibrary> library = std::make_shared<FakeDeviceLibrary>();
  std::atomic<int> workersToRefuse{0};
  std::atomic<int> eventsToRefuse{0};
  std::function<void()> sleepHook;            // set before the window opens
  std::optional<doctor::Report> examination;  // what the port doctor finds; set before

 private:
  std::atomic<bool> libraryMissing_{false};
  testing_support::TempFolder folder_;
  FirmwareCatalogue catalogue_;
  mutable std::mutex mutex_;
  std::set<int> openPorts_;
  std::map<std::string, int> profile_;
  int writes_ = 0;
  std::vector<unsigned> sleeps_;
  std::vector<int> examined_;
  std::vector<std::weak_ptr<CThread>> workers_;
  CResetPromptDlg resetPrompt_;
};
