// reflint-cli: the window's update from a script, and many remotes at once.
#include <iostream>
#include <string>
#include <vector>

#include "cli/doctor_command.h"
#include "cli/exit_codes.h"
#include "cli/options.h"
#include "cli/parallel_update.h"
#include "cli/port_report.h"
#include "cli/revert_command.h"
#include "cli/update_run.h"
#include "platform/console.h"
#include "platform/serial_port.h"

namespace {

int RunUpdate(UpdateOptions options, Output& output) {
  std::vector<int> ports = options.ports;
  if (!options.retryFailed.empty()) {
    std::string error;
    std::optional<std::vector<int>> failed = FailedPorts(options.retryFailed, &error);
    if (!failed) {
      std::cerr << "reflint-cli: " << error << '\n';
      return kExitUsage;
    }
    if (failed->empty()) {
      output.Say("Nothing to retry: every port in " + options.retryFailed + " was updated.");
      return kExitUpdated;
    }
    ports = *failed;
  } else if (options.allPorts) {
    ports.clear();
    for (int port : platform::SystemPortNumbers())
      if (platform::ProbePort(port)) ports.push_back(port);
    if (ports.empty()) {
      output.Say("reflint-cli: no port can be opened (reflint-cli list says why)");
      return kExitNoDevice;
    }
  }
  if (ports.size() == 1 && options.retryFailed.empty() && !options.allPorts)
    return RunSingleUpdate(options, ports.front(), output);
  return RunParallelUpdate(options, ports, output);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.command) {
    (parsed.textIsError ? std::cerr : std::cout) << parsed.text << std::flush;
    return parsed.exitCode;
  }
  platform::CatchInterrupt();
  const Command& command = *parsed.command;
  Output output(command.update.json, command.update.quiet);
  switch (command.kind) {
    case Command::Kind::kUpdate:
      return RunUpdate(command.update, output);
    case Command::Kind::kRevert:
      return RunRevert(command.update, command.update.ports.front(), output);
    case Command::Kind::kInfo:
      return ShowPortInfo(command.update.ports.front(), output);
    case Command::Kind::kList:
      return ListPorts(command.noProbe, output);
    case Command::Kind::kDoctor:
      return RunDoctor(command.update.ports.empty() ? 0 : command.update.ports.front(), output);
  }
  return kExitUsage;
}
