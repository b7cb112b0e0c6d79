#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <map>

#include "cli/exit_codes.h"

namespace {

constexpr int kHighestPort = 256;

std::optional<int> PortNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 1 || value > kHighestPort) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::vector<int>> ParsePortList(const std::string& text, std::string* error) {
  std::vector<int> ports;
  for (const std::string& item : CLI::detail::split(text, ',')) {
    const std::size_t dash = item.find('-');
    const auto first = PortNumber(std::string_view(item).substr(0, dash));
    const auto last =
        dash == std::string::npos ? first : PortNumber(std::string_view(item).substr(dash + 1));
    if (!first || !last || *last < *first) {
      *error = "--port: '" + item + "' is not a port number (1-" + std::to_string(kHighestPort) +
               ") or a range such as 7-12";
      return std::nullopt;
    }
    for (int n = *first; n <= *last; ++n) ports.push_back(n);
  }
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  if (ports.empty()) {
    *error = "--port: no port given";
    return std::nullopt;
  }
  return ports;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CLI::App app("Updates the firmware of Reflint remotes on serial ports.", "reflint-cli");
  app.footer(kExitCodeHelp);
  app.require_subcommand(1);
  app.set_version_flag("--version", "reflint-cli " REFLINT_VERSION_TEXT);

  std::map<std::string, DeviceFamily> families;
  for (DeviceFamily family : kExaminationOrder)
    families.emplace(std::string(Family(family).displayName), family);

  Command command;
  std::string portText;
  UpdateOptions& u = command.update;

  CLI::App* update = app.add_subcommand(
      "update", "Update the remote on a port, or the remotes on several ports at once.");
  update->footer(kExitCodeHelp);
  CLI::Option* portOption =
      update->add_option("--port", portText, "COM port number, or a list: 3,4,7-12");
  CLI::Option* allOption = update->add_flag("--all-ports", u.allPorts, "every port that opens");
  CLI::Option* retryOption =
      update
          ->add_option("--retry-failed", u.retryFailed,
                       "the ports that failed in this summary (the JSON lines of --json)")
          ->check(CLI::ExistingFile);
  portOption->excludes(allOption)->excludes(retryOption);
  allOption->excludes(retryOption);
  std::string familyNames;
  for (DeviceFamily family : kExaminationOrder)
    familyNames += (familyNames.empty() ? "" : ", ") + std::string(Family(family).displayName);
  // The transformer's own description would print the enum's values.
  update
      ->add_option("--family", u.family,
                   "the family, when the remote does not name it: " + familyNames)
      ->type_name("NAME")
      ->transform(CLI::CheckedTransformer(families, CLI::ignore_case).description(""));
  update->add_option("--file", u.file, "this firmware file instead of the one beside the program")
      ->check(CLI::ExistingFile);
  update->add_flag("--yes,-y", u.yes, "update without asking for confirmation");
  update->add_flag("--json", u.json, "JSON Lines on stdout: identified, job, progress, result");
  update->add_flag("--quiet,-q", u.quiet, "no progress line and no messages on stderr");
  update
      ->add_option("--reset-timeout", u.resetTimeoutSeconds,
                   "seconds to wait for RESET to be pressed (default 60)")
      ->check(CLI::Range(1, 3600));
  update->add_flag("--allow-older", u.allowOlder,
                   "write the file also when the remote runs a newer version");

  CLI::App* revert = app.add_subcommand(
      "revert",
      "Make the remote run the firmware it ran before its last update again, which it keeps.");
  revert->footer(kExitCodeHelp);
  revert->add_option("--port", portText, "COM port number")->required();
  revert
      ->add_option("--family", u.family,
                   "the family, when the remote does not name it: " + familyNames)
      ->type_name("NAME")
      ->transform(CLI::CheckedTransformer(families, CLI::ignore_case).description(""));
  revert->add_flag("--yes,-y", u.yes, "revert without asking for confirmation");
  revert
      ->add_option("--reset-timeout", u.resetTimeoutSeconds,
                   "seconds to wait for RESET to be pressed (default 60)")
      ->check(CLI::Range(1, 3600));

  CLI::App* info = app.add_subcommand(
      "info", "Show what the remote on a port answers and what identification decides.");
  info->footer(kExitCodeHelp);
  info->add_option("--port", portText, "COM port number")->required();
  info->add_flag("--json", u.json, "one JSON object on stdout");

  CLI::App* list = app.add_subcommand(
      "list", "List the serial ports, what answers on each, and why a port is missing.");
  list->footer(kExitCodeHelp);
  list->add_flag("--no-probe", command.noProbe, "do not ask the devices");
  list->add_flag("--json", u.json, "one JSON object per port on stdout");

  CLI::App* doctor = app.add_subcommand(
      "doctor", "Tell what stands between you and the remote on each port and USB-serial bridge.");
  doctor->footer(kExitCodeHelp);
  doctor->add_option("--port", portText, "only this COM port (and bridges that have no port)");
  doctor->add_flag("--json", u.json, "one JSON object per port and bridge on stdout");

  const std::array<const CLI::App*, 5> commands{update, revert, info, list, doctor};
  ParsedCommandLine result;
  // CLI11 would only say that a command is required.
  if (!args.empty() && !args.front().starts_with("-") &&
      std::none_of(commands.begin(), commands.end(),
                   [&](const CLI::App* sub) { return sub->get_name() == args.front(); })) {
    result.exitCode = kExitUsage;
    result.text = "reflint-cli: unknown command '" + args.front() +
                  "': the commands are update, revert, info, list and doctor\n";
    result.textIsError = true;
    return result;
  }
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    // The help of the subcommand named, or the program's.
    const CLI::App* shown = &app;
    for (const CLI::App* sub : commands)
      if (sub->parsed()) shown = sub;
    result.text = shown->help();
    return result;
  } catch (const CLI::CallForVersion& e) {
    result.text = e.what() + std::string("\n");
    return result;
  } catch (const CLI::ParseError& e) {
    result.exitCode = kExitUsage;
    result.text =
        std::string("reflint-cli: ") + e.what() + "\nRun 'reflint-cli --help' for more.\n";
    result.textIsError = true;
    return result;
  }

  const auto usage = [&](const std::string& text) {
    result.exitCode = kExitUsage;
    result.text = "reflint-cli: " + text + "\n";
    result.textIsError = true;
    return result;
  };
  if (!portText.empty()) {
    std::string error;
    std::optional<std::vector<int>> ports = ParsePortList(portText, &error);
    if (!ports) return usage(error);
    u.ports = std::move(*ports);
  }
  if (revert->parsed()) {
    command.kind = Command::Kind::kRevert;
    if (u.ports.size() != 1) return usage("revert: --port takes one port number");
  } else if (info->parsed()) {
    command.kind = Command::Kind::kInfo;
    if (u.ports.size() != 1) return usage("info: --port takes one port number");
  } else if (list->parsed()) {
    command.kind = Command::Kind::kList;
  } else if (doctor->parsed()) {
    command.kind = Command::Kind::kDoctor;
    if (u.ports.size() > 1) return usage("doctor: --port takes one port number");
  } else {
    command.kind = Command::Kind::kUpdate;
    if (u.ports.empty() && !u.allPorts && u.retryFailed.empty())
      return usage("update: name the port with --port N (or --all-ports, --retry-failed FILE)");
    if ((u.ports.size() > 1 || u.allPorts || !u.retryFailed.empty()) && !u.yes)
      return usage(
          "update: several remotes at once need --yes, as no one can answer for each of them");
  }
  result.command = std::move(command);
  return result;
}
