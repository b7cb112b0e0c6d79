#pragma once
// What the application object shares with the main window and the jobs:
// the firmware catalogue, the profile with the saved port, the device
// library, the reset prompt and the boot-caught result. The application
// object implements it; tests build their own.

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "catalogue/firmware_catalogue.h"
#include "identify/device_library.h"
#include "platform/error.h"
#include "platform/named_event.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "run/cthread.h"

class CResetPromptDlg;

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kPortKey = "COM";

class UpgradeEnvironment {
 public:
  virtual ~UpgradeEnvironment() = default;

  virtual const FirmwareCatalogue& Catalogue() const = 0;

  // The application profile; any thread. A missing or unreadable value reads
  // as defaultValue.
  virtual int GetProfileInt(const std::string& section, const std::string& key,
                            int defaultValue) = 0;
  virtual platform::Result<> WriteProfileInt(const std::string& section, const std::string& key,
                                             int value) = 0;

  // The device library, loaded on first use; when it cannot be loaded, a
  // text for the user and the reason. Shared: a worker may outlive a run.
  virtual LibraryResult Library() = 0;

  // The support log; any thread. Tests keep theirs quiet.
  virtual platform::SupportLog& Log() { return platform::SupportLog::Discard(); }

  // The one reset prompt, kept until the process ends.
  virtual CResetPromptDlg& ResetPrompt() = 0;

  // Pauses the calling thread; tests shorten it.
  virtual void Sleep(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  // A new worker with its thread suspended; null when no thread can be made.
  virtual std::shared_ptr<CThread> BeginWorker() { return CThread::Begin(); }

  // The named event (empty name: a private one), or why it cannot be made.
  virtual platform::Result<std::shared_ptr<platform::NamedEvent>> OpenEvent(
      const std::string& name) {
    return platform::NamedEvent::Open(name);
  }

  // True when serial port COMn can be opened exclusively right now.
  virtual bool ProbePort(int n) { return platform::ProbePort(n); }
};
