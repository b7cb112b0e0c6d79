#pragma once
// Command line of remote-emulator.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/device.h"
#include "emulator/faults.h"
#include "platform/error.h"

namespace emulator {

struct Options {
  DeviceConfig device;
  std::optional<int> resetAfterMs;
  std::string imageOut;
  std::string link;
  std::string log;
  int baud = 0;  // 0: bytes pass as fast as the pty takes them
  int turnaroundMs = 0;
  FaultPlan faults;
  std::uint64_t seed = 1;
  bool help = false;
};

// Parses argv; a refusal saying which option and why on bad input.
// --help only sets help: parsing never prints or exits.
platform::Result<> ParseOptions(int argc, char** argv, Options& options);

std::string UsageText();

}  // namespace emulator
