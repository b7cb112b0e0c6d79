#include "cli/update_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "catalogue/firmware_catalogue.h"
#include "catalogue/version_naming.h"
#include "cli/exit_codes.h"
#include "core/user_texts.h"
#include "doctor/machine_doctor.h"
#include "platform/console.h"
#include "platform/exe_path.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "platform/system_name.h"
#include "run/cthread.h"
#include "run/library_loader.h"
#include "run/update_road.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kPollPeriodMs = 100;
constexpr auto kResetPollPeriod = std::chrono::milliseconds(50);
constexpr double kRateAfterSeconds = 0.5;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string PortName(int port) { return "COM" + std::to_string(port); }

// The installed version the run read, or none where a text stands in for
// one ("Not acquired", "Not acquired.").
std::optional<std::string> KnownVersion(const std::string& installed) {
  if (installed == UserTextOf(UserText::NothingAcquired) ||
      installed == UserTextOf(UserText::NotAcquired))
    return std::nullopt;
  return installed;
}

std::optional<DeviceFamily> FamilyOfFileName(const std::string& path) {
  const std::string name = path.substr(FolderOf(path).size());
  for (DeviceFamily family : kExaminationOrder)
    for (std::string_view prefix : Family(family).acceptedPrefixes)
      if (!prefix.empty() && name.starts_with(prefix)) return family;
  return std::nullopt;
}

// The run's questions answered from the options or on the terminal, and
// its states told on stderr and in JSON lines.
class CliFace final : public UpdateFace {
 public:
  CliFace(const UpdateOptions& options, int port, Output& output, const UpdateRunState& state)
      : options_(options),
        port_(port),
        output_(output),
        state_(state),
        terminal_(platform::IsTerminal(platform::Stream::kIn)) {}

  // Why the run stopped short, beyond "not reached".
  std::string needsAnswer;  // the option that would have answered
  bool declined = false;
  std::string wrongFamily;
  std::string older;  // the refusal of an older file without --allow-older
  std::string told;   // the last message for the user
  std::string cause;  // what the port doctor found in the way
  // The family the run had settled on when it last asked or told.
  std::optional<DeviceFamily> family;
  bool confirmAsked = false;
  std::function<void(const std::optional<std::string>&)> identified;

  bool AskYesNo(const std::string& question) override {
    if (options_.family) {
      const std::string name(Family(*options_.family).displayName);
      for (UserText line : {UserText::AvailableQuestion, UserText::BootIdQuestion}) {
        if (question ==
            std::string(UserTextOf(UserText::RetrievalFailedLine)) + UserTextWith(line, name))
          return true;
      }
      wrongFamily = "the remote on " + PortName(port_) + " cannot be a " + name;
      return false;
    }
    if (!terminal_) {
      needsAnswer = "--family";
      return false;
    }
    return AskOnTerminal(question + " [y/N] ");
  }

  std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) override {
    if (options_.family) {
      const std::string name(Family(*options_.family).displayName);
      for (const std::string& candidate : candidates)
        if (candidate == name) return name;
      wrongFamily = "the remote on " + PortName(port_) + " cannot be a " + name;
      return std::nullopt;
    }
    if (!terminal_) {
      needsAnswer = "--family";
      return std::nullopt;
    }
    output_.Say("The remote on " + PortName(port_) + " does not name its family. Which is it?");
    for (std::size_t i = 0; i < candidates.size(); ++i)
      output_.Say("  " + std::to_string(i + 1) + ") " + candidates[i]);
    std::cerr << "Number (Enter: 1, 0: none): " << std::flush;
    const std::optional<std::string> typed = platform::ReadInputLine();
    if (!typed) return std::nullopt;  // end of input or Ctrl+C
    const std::string answer = typed->empty() ? "1" : *typed;
    const std::size_t chosen = static_cast<std::size_t>(std::atoi(answer.c_str()));
    if (chosen < 1 || chosen > candidates.size()) {
      declined = true;
      return std::nullopt;
    }
    return candidates[chosen - 1];
  }

  void Tell(const std::string& text) override {
    Settled();
    told = text;
  }
  // Said after the result's message.
  void TellCause(const std::string& text) override { cause = text; }

  // As the window's reset prompt, without its Cancel: Ctrl+C or the time-out.
  bool AwaitReset(ResetWaits& waits) override {
    Settled();
    output_.Say("Press RESET on the remote on " + PortName(port_) + " (waiting " +
                std::to_string(options_.resetTimeoutSeconds) + " s; Ctrl+C stops)");
    std::shared_ptr<CThread> worker = waits.NewWaitForReset();
    if (!worker) return false;
    auto found = std::make_shared<std::atomic<bool>>(false);
    worker->SetFoundHandler([found] { found->store(true); });
    worker->ResumeThread();
    const auto deadline = Clock::now() + std::chrono::seconds(options_.resetTimeoutSeconds);
    while (!found->load() && !platform::Interrupted() && Clock::now() < deadline)
      std::this_thread::sleep_for(kResetPollPeriod);
    worker->RequestStop();
    return found->load();
  }

  bool Confirm(const std::string& installedVersion,
               const std::optional<std::string>& newVersion) override {
    Settled();
    confirmAsked = true;
    const std::optional<std::string> known = KnownVersion(installedVersion);
    if (identified) identified(known);
    const std::string question =
        "Update the " + (family ? std::string(Family(*family).displayName) : "remote") + " on " +
        PortName(port_) + " from " + known.value_or("an unknown version") + " to " +
        newVersion.value_or("?") + "?";
    if (platform::Interrupted()) return false;
    // Going back a version is deliberate: the person says so on the command line.
    if (known && newVersion && !options_.allowOlder && CompareVersions(*known, *newVersion) > 0) {
      older = "the " + (family ? std::string(Family(*family).displayName) : "remote") + " on " +
              PortName(port_) + " runs " + *known + ", newer than the file's " + *newVersion +
              ": pass --allow-older to write the older version (nothing was erased)";
      return false;
    }
    if (options_.yes) return true;
    if (!terminal_) {
      needsAnswer = "--yes";
      return false;
    }
    return AskOnTerminal(question + " [y/N] ");
  }

  void ShowResult(bool updated, const std::string&) override { updated_.store(updated); }

  bool Updated() const { return updated_.load(); }

 private:
  void Settled() {
    if (std::optional<DeviceFamily> now = state_.FirstSelectedFamily()) family = now;
  }

  bool AskOnTerminal(const std::string& prompt) {
    const std::optional<bool> yes = ::AskOnTerminal(output_, prompt);
    if (!yes) return false;  // end of input or Ctrl+C
    declined = !*yes;
    return *yes;
  }

  const UpdateOptions& options_;
  int port_;
  Output& output_;
  const UpdateRunState& state_;
  bool terminal_;
  std::atomic<bool> updated_{false};
};

// The run's services: the library loaded once, the rest as the system has it.
class CliServices final : public RunServices {
 public:
  CliServices(platform::SupportLog& log, std::string folder)
      : log_(log), loader_(log), folder_(std::move(folder)) {}
  LibraryResult Library() override { return loader_.Library(folder_); }
  platform::SupportLog& Log() override { return log_; }
  std::optional<doctor::Report> ExaminePorts(std::int32_t port) override {
    return doctor::ExamineMachine(port);
  }

 private:
  platform::SupportLog& log_;
  LibraryLoader loader_;
  std::string folder_;
};

// What the result object and the summary say of one port.
struct Report {
  int port = 0;
  std::optional<std::string> family;
  std::optional<std::string> installed;
  std::optional<std::string> newVersion;
  bool inBootLoader = false;
};

}  // namespace

int RunSingleUpdate(const UpdateOptions& options, int port, Output& output, RunServices* services) {
  const Clock::time_point start = Clock::now();
  platform::SupportLog log(platform::SupportLogPath(),
                           platform::ExecutableBaseName() + " " + PortName(port));
  Report report;
  report.port = port;
  std::string doctorCause;  // after the message: what the port doctor found in the way
  const auto finish = [&](const char* result, int exitCode, const std::string& message) {
    output.EndProgress();
    const std::string said = message.substr(0, message.find_last_not_of(" \n") + 1);
    if (!said.empty()) output.Say(PortName(port) + ": " + said);
    if (!doctorCause.empty()) output.Say(PortName(port) + ": " + doctorCause);
    log.Write(std::string("update ends: ") + result + (said.empty() ? "" : ": " + said));
    nlohmann::json object = EventObject("result");
    object["port"] = port;
    object["family"] = OrNull(report.family);
    object["installed"] = OrNull(report.installed);
    object["new"] = OrNull(report.newVersion);
    object["result"] = result;
    object["exit_code"] = exitCode;
    object["seconds"] = std::round(SecondsSince(start) * 100) / 100;
    object["in_boot_loader"] = report.inBootLoader;
    object["message"] = said;
    output.Emit(object);
    return exitCode;
  };

  log.Write("update begins: " + platform::ExecutableBaseName() + " " REFLINT_VERSION_TEXT " on " +
            platform::SystemDescription() + ", " + PortName(port) + " = " +
            platform::ComPortDevice(port));
  FirmwareCatalogue catalogue;
  catalogue.ScanFirmwareFiles();
  UpdateRunState state;
  MarkAvailableFamilies(catalogue, state);
  std::optional<DeviceFamily> fileFamily;
  if (!options.file.empty()) {
    fileFamily = FamilyOfFileName(options.file);
    if (!fileFamily)
      return finish("failed", kExitUsage,
                    "the name of " + options.file + " does not begin with a family's name");
    SetFlag(state.available[FamilyIndex(*fileFamily)]);
  }
  const auto firmwarePath = [&](DeviceFamily family) {
    return fileFamily == family ? options.file : catalogue.GetFirmwarePath(family);
  };
  bool anyFirmware = false;
  for (DeviceFamily family : kExaminationOrder) anyFirmware |= state.IsAvailable(family);
  if (!anyFirmware)
    return finish("failed", kExitFailed,
                  "no firmware file beside the program (" + catalogue.GetExeDirectory() + ")");
  // As the window enables Start Update: only when a file's name gives a version.
  if (fileFamily && !GetFirmwareVersionText(options.file, FolderOf(options.file), state))
    return finish("failed", kExitUsage,
                  "the name of " + options.file +
                      " gives no version (a family's name, then V_ and the version, e.g. " +
                      std::string(Family(*fileFamily).displayName) + "_V_1_0_0.bin)");
  for (DeviceFamily family : kExaminationOrder) {
    const std::string path = firmwarePath(family);
    if (state.IsAvailable(family)) (void)GetFirmwareVersionText(path, FolderOf(path), state);
  }
  if (!state.HasValidFirmware())
    return finish("failed", kExitFailed,
                  "no firmware file beside the program gives a version in its name (" +
                      catalogue.GetExeDirectory() + ")");
  if (platform::Interrupted()) return finish("interrupted", kExitInterrupted, "interrupted");

  CliServices ownServices(log, catalogue.GetExeDirectory());
  CliFace face(options, port, output, state);
  UpdateRoad road(state, services ? *services : ownServices, face, firmwarePath);
  face.identified = [&](const std::optional<std::string>& installed) {
    if (face.family) report.family = std::string(Family(*face.family).displayName);
    report.installed = installed;
    report.newVersion = road.NewVersion();
    nlohmann::json identified = EventObject("identified");
    identified["port"] = port;
    identified["family"] = OrNull(report.family);
    identified["installed"] = OrNull(report.installed);
    identified["new"] = OrNull(report.newVersion);
    if (face.family) identified["file"] = platform::LoggedFileName(firmwarePath(*face.family));
    output.Emit(identified);
  };
  // The last moment to stop without erasing is the confirmation: from the
  // download on the library runs to its own end.
  const bool started = road.Start(port);
  // A given-up job must be out of the library before the process goes.
  road.AwaitJobsOutOfLibrary();
  doctorCause = face.cause;
  report.inBootLoader = road.Reached().reached;
  if (face.family) report.family = std::string(Family(*face.family).displayName);
  const std::string& installed = road.Reached().installedVersion;
  // Empty: the run ended before identification.
  if (!report.installed && !installed.empty()) report.installed = KnownVersion(installed);

  if (!started) {
    if (platform::Interrupted())
      return finish("interrupted", kExitInterrupted, "interrupted before any erase");
    if (!face.needsAnswer.empty())
      return finish("needs-answer", kExitUsage,
                    face.confirmAsked
                        ? "no one is at a terminal to confirm the update: pass --yes (nothing "
                          "was erased)"
                        : "the remote does not say which family it is, and no one is at a "
                          "terminal to answer: pass " +
                              face.needsAnswer + " (nothing was erased)");
    if (!face.older.empty()) return finish("needs-answer", kExitUsage, face.older);
    if (!face.wrongFamily.empty()) return finish("not-identified", kExitNoDevice, face.wrongFamily);
    if (face.declined)
      return finish(
          "declined", kExitDeclined,
          face.confirmAsked ? "the update was not confirmed (nothing was erased)" : "declined");
    // After the confirmation only a worker or an event could fail; before
    // identification only the library.
    const std::string notDetected(UserTextOf(UserText::NotDetected));
    if (face.confirmAsked || (!face.told.empty() && face.told != notDetected))
      return finish("failed", kExitFailed, face.told);
    return finish("not-identified", kExitNoDevice, notDetected);
  }

  std::error_code sizeError;
  const std::optional<DeviceFamily> family = state.FirstSelectedFamily();
  const double size =
      family ? static_cast<double>(std::filesystem::file_size(firmwarePath(*family), sizeError))
             : 0;
  std::string jobName;
  int percent = -1;
  Clock::time_point jobStart = Clock::now();
  for (;;) {
    const DownloadPoll poll = road.PollProgress(kPollPeriodMs);
    if (poll.ended) break;
    const int progress = poll.progress;
    if (poll.jobName != jobName) {
      jobName = poll.jobName;
      jobStart = Clock::now();
      percent = -1;
      nlohmann::json job = EventObject("job");
      job["port"] = port;
      job["name"] = jobName;
      output.Emit(job);
    }
    if (progress == percent) continue;
    percent = progress;
    const double elapsed = SecondsSince(jobStart);
    const double done = size * std::clamp(progress, 0, 100) / 100.0;
    // The first moments of a job say nothing of its rate.
    const double rate = elapsed >= kRateAfterSeconds ? done / elapsed : 0;
    const std::optional<double> left =
        rate > 0 ? std::optional<double>((size - done) / rate) : std::nullopt;
    nlohmann::json event = EventObject("progress");
    event["port"] = port;
    event["job"] = jobName;
    event["percent"] = progress;
    event["bytes_per_second"] = rate > 0 ? nlohmann::json(std::round(rate)) : nullptr;
    event["seconds_left"] = left ? nlohmann::json(std::round(*left * 10) / 10) : nullptr;
    output.Emit(event);
    output.Progress(ProgressLine(PortName(port), jobName, progress, rate, left));
  }
  if (face.Updated()) {
    report.inBootLoader = false;
    return finish(kResultUpdated, kExitUpdated, std::string(UserTextOf(UserText::Updated)));
  }
  std::string notUpdated(UserTextOf(UserText::NotUpdated));
  notUpdated.erase(notUpdated.find_last_not_of(" \n") + 1);
  return finish("failed", kExitFailed,
                notUpdated + " (the support log " + platform::LoggedFileName(log.path()) +
                    " names the stage and the cause)");
}
