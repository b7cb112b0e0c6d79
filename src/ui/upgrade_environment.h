#pragma once
// What the application object shares with the main window: beside what
// every update run takes (the device library, the log, threads, events and
// a clock), the firmware catalogue, the profile with the saved port, the
// reset prompt and the port probe. The application object implements it;
// tests build their own.

#include <string>

#include "catalogue/firmware_catalogue.h"
#include "platform/error.h"
#include "platform/serial_port.h"
#include "run/run_services.h"

class CResetPromptDlg;

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kPortKey = "COM";

class UpgradeEnvironment : public RunServices {
 public:
  virtual const FirmwareCatalogue& Catalogue() const = 0;

  // The application profile; any thread. A missing or unreadable value reads
  // as defaultValue.
  virtual int GetProfileInt(const std::string& section, const std::string& key,
                            int defaultValue) = 0;
  virtual platform::Result<> WriteProfileInt(const std::string& section, const std::string& key,
                                             int value) = 0;

  // The one reset prompt, kept until the process ends.
  virtual CResetPromptDlg& ResetPrompt() = 0;

  // True when serial port COMn can be opened exclusively right now.
  virtual bool ProbePort(int n) { return platform::ProbePort(n); }
};
