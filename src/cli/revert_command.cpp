#include "cli/revert_command.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/port_report.h"
#include "core/user_texts.h"
#include "identify/kestra2g_library.h"
#include "identify/library_results.h"
#include "platform/console.h"
#include "platform/exe_path.h"
#include "platform/port_scan.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kResetPollPeriod = std::chrono::milliseconds(50);

// The library's answer: the previous version, or why not.
struct RevertAnswer {
  bool ok = false;
  std::string text;
};

RevertAnswer AskLibrary(DeviceLibrary& library, int port, DeviceFamily family, bool apply) {
  char buffer[kInformationBufferSize] = {};
  const bool ok = library.Revert(port, Family(family).deviceCode, apply, buffer) == 1;
  return {ok, std::string(buffer, strnlen(buffer, sizeof buffer))};
}

// The boot loader, as update waits for it: at once, or after RESET.
bool AwaitBootLoader(DeviceLibrary& library, int port, DeviceFamily family, int seconds,
                     Output& output) {
  const std::int32_t code = Family(family).deviceCode;
  if (DeviceReady(library, port, code)) return true;
  output.Say("Press RESET on the remote on COM" + std::to_string(port) + " (waiting " +
             std::to_string(seconds) + " s; Ctrl+C stops)");
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!platform::Interrupted() && Clock::now() < deadline) {
    if (DeviceReady(library, port, code)) return true;
    std::this_thread::sleep_for(kResetPollPeriod);
  }
  return false;
}

}  // namespace

int RunRevert(const UpdateOptions& options, int port, Output& output) {
  const std::string com = "COM" + std::to_string(port);
  platform::SupportLog log(platform::SupportLogPath(), platform::ExecutableBaseName() + " " + com);
  const auto finish = [&](int exitCode, const std::string& message) {
    output.Say(com + ": " + message);
    log.Write("revert ends (exit " + std::to_string(exitCode) + "): " + message);
    return exitCode;
  };
  log.Write("revert begins: " + com + " = " + platform::ComPortDevice(port));

  std::string held;
  const platform::PortState state = platform::ProbePortState(port, &held);
  if (state != platform::PortState::kFree)
    return finish(kExitNoDevice,
                  state == platform::PortState::kMissing
                      ? "no such port"
                      : "the port cannot be opened" + (held.empty() ? std::string() : ": " + held));
  std::string libraryError;
  const std::shared_ptr<DeviceLibrary> library = ListingLibrary(log, &libraryError);
  if (!library) return finish(kExitFailed, libraryError);
  if (!library->CanRevert())
    return finish(kExitFailed, "this device library (" + DeviceLibraryFileName() +
                                   ") cannot revert: it has no Kestra2G_Revert");

  const Identification id = Identify(*library, port);
  if (!id.bootText) return finish(kExitNoDevice, "no remote answers");
  if (id.family && options.family && *id.family != *options.family)
    return finish(kExitNoDevice, std::string("the remote cannot be a ") +
                                     std::string(Family(*options.family).displayName));
  const std::optional<DeviceFamily> family = id.family ? id.family : options.family;
  if (!family)
    return finish(kExitNoDevice, "the remote does not say which family it is: pass --family");
  const std::string name(Family(*family).displayName);

  if (!AwaitBootLoader(*library, port, *family, options.resetTimeoutSeconds, output)) {
    if (platform::Interrupted())
      return finish(kExitInterrupted, "interrupted (nothing was changed)");
    return finish(kExitNoDevice,
                  "the " + name + "'s boot loader did not answer (RESET not pressed?)");
  }
  const RevertAnswer told = AskLibrary(*library, port, *family, false);
  if (!told.ok) return finish(kExitFailed, "cannot revert: " + told.text + "; nothing was changed");

  // "Not acquired" stands where the application did not answer.
  const bool known = id.installed && !id.installed->empty() &&
                     *id.installed != UserTextOf(UserText::NotAcquired) &&
                     *id.installed != UserTextOf(UserText::NothingAcquired);
  const std::string running = known ? *id.installed : "an unknown version";
  const std::string question =
      "The " + name + " on " + com + " runs " + running + "; revert to " + told.text + "?";
  if (platform::Interrupted()) return finish(kExitInterrupted, "interrupted (nothing was changed)");
  if (!options.yes) {
    if (!platform::IsTerminal(platform::Stream::kIn))
      return finish(kExitUsage, question +
                                    " No one is at a terminal to confirm: pass --yes "
                                    "(nothing was changed)");
    const std::optional<bool> yes = AskOnTerminal(output, question + " [y/N] ");
    if (!yes && platform::Interrupted())
      return finish(kExitInterrupted, "interrupted (nothing was changed)");
    if (!yes || !*yes)
      return finish(kExitDeclined, "the revert was not confirmed (nothing was changed)");
  }

  const RevertAnswer done = AskLibrary(*library, port, *family, true);
  if (!done.ok)
    return finish(kExitFailed, "the revert failed: " + done.text + " (the support log " +
                                   platform::LoggedFileName(log.path()) + " has more)");
  return finish(kExitUpdated, "reverted: the " + name + " runs " + done.text + " again");
}
