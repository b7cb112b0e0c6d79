#pragma once
// `list` and `info`: what is on the ports, without updating anything.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/events.h"
#include "identify/device_library.h"
#include "platform/support_log.h"

// What the remote on a port answered and what identification made of it.
struct Identification {
  // The first answer of each kind, in examination order.
  std::optional<std::string> bootText, productText, applicationText;
  std::optional<DeviceFamily> family;  // what the steps decided
  std::vector<std::string> bootMatched;
  std::optional<std::string> installed;
  bool bootLoaderAnswers = false;
};

// The window's identification steps with every family counted as available.
Identification Identify(DeviceLibrary& library, int port);

// Every port the window lists and every other port number the system has,
// what answers on each (unless noProbe), and why a port is not listed.
int ListPorts(bool noProbe, Output& output);

// The three identification texts of the remote on the port and what the
// identification decided.
int ShowPortInfo(int port, Output& output);

// The device library beside the program, for asking ports; null with the
// user's text in *error when it cannot be loaded.
std::shared_ptr<DeviceLibrary> ListingLibrary(platform::SupportLog& log, std::string* error);
// What answers on a free port ("HLX700, boot loader"); nothing when nothing does.
std::optional<std::string> RemoteAnswer(DeviceLibrary& library, int port);
