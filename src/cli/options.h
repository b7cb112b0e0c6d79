#pragma once
// reflint-cli's command line, parsed with CLI11. Parsing never exits: help
// and usage errors come back as text and exit code.

#include <optional>
#include <string>
#include <vector>

#include "core/device_family.h"

struct UpdateOptions {
  std::vector<int> ports;  // ascending, each once
  bool allPorts = false;
  std::string retryFailed;  // a summary to take the failed ports from
  std::optional<DeviceFamily> family;
  std::string file;
  bool yes = false;
  bool json = false;
  bool quiet = false;  // no progress line, no messages on stderr
  int resetTimeoutSeconds = 60;
  bool allowOlder = false;  // write a file older than the installed version
};

struct Command {
  enum class Kind { kUpdate, kRevert, kInfo, kList, kDoctor };
  Kind kind = Kind::kList;
  // kUpdate; port, family, yes and the reset time-out also for kRevert, port
  // and json for kInfo and kDoctor.
  UpdateOptions update;
  bool noProbe = false;  // kList
};

struct ParsedCommandLine {
  std::optional<Command> command;  // none: print text and exit with exitCode
  int exitCode = 0;
  std::string text;
  bool textIsError = false;  // stderr, not stdout
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// "3,4,7-12" as port numbers; none with the reason in *error.
std::optional<std::vector<int>> ParsePortList(const std::string& text, std::string* error);
