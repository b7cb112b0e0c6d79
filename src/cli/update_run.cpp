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
#include "identify/call_log_library.h"
#include "identify/kestra2g_library.h"
#include "platform/console.h"
#include "platform/exe_path.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "platform/system_name.h"
#include "run/cthread.h"
#include "run/update_sequence.h"
#include "run/worker_owner.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPeriod = std::chrono::milliseconds(100);
constexpr auto kResetPollPeriod = std::chrono::milliseconds(50);
constexpr double kRateAfterSeconds = 0.5;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string PortName(int port) { return "COM" + std::to_string(port); }

// The folder part of a path, with its separator, as the catalogue gives it.
std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::optional<DeviceFamily> FamilyOfFileName(const std::string& path) {
  const std::string name = path.substr(FolderOf(path).size());
  for (DeviceFamily family : kExaminationOrder)
    for (std::string_view prefix : Family(family).acceptedPrefixes)
      if (!prefix.empty() && name.starts_with(prefix)) return family;
  return std::nullopt;
}

// The run's questions answered from the options or on the terminal, and
// the jobs' owner.
class CliRun final : public UpdateFace, public WorkerOwner {
 public:
  CliRun(const UpdateOptions& options, int port, Output& output, UpdateRunState& state,
         std::shared_ptr<DeviceLibrary> library, std::function<std::string(DeviceFamily)> path)
      : options_(options),
        port_(port),
        output_(output),
        state_(state),
        library_(std::move(library)),
        path_(std::move(path)),
        terminal_(platform::IsTerminal(platform::Stream::kIn)) {}

  ~CliRun() override { AwaitJobsOutOfLibrary(); }

  // Why the run stopped short, beyond "not reached".
  std::string needsAnswer;  // the option that would have answered
  bool declined = false;
  std::string wrongFamily;

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
    std::string answer;
    if (!std::getline(std::cin, answer)) return std::nullopt;
    if (answer.empty()) answer = "1";
    const std::size_t chosen = static_cast<std::size_t>(std::atoi(answer.c_str()));
    if (chosen < 1 || chosen > candidates.size()) {
      declined = true;
      return std::nullopt;
    }
    return candidates[chosen - 1];
  }

  // As the window's reset prompt, without its Cancel: Ctrl+C or the time-out.
  bool AwaitReset() override {
    output_.Say("Press RESET on the remote on " + PortName(port_) + " (waiting " +
                std::to_string(options_.resetTimeoutSeconds) + " s; Ctrl+C stops)");
    resetWorker_ = BeginWorker();
    if (!resetWorker_) return false;
    auto found = std::make_shared<std::atomic<bool>>(false);
    resetWorker_->SetOwner(this);
    resetWorker_->SetMode(CThread::kWaitForResetMode);
    resetWorker_->SetFoundHandler([found] { found->store(true); });
    resetWorker_->ResumeThread();
    const auto deadline = Clock::now() + std::chrono::seconds(options_.resetTimeoutSeconds);
    while (!found->load() && !platform::Interrupted() && Clock::now() < deadline)
      std::this_thread::sleep_for(kResetPollPeriod);
    resetWorker_->RequestStop();
    return found->load();
  }

  bool CatchBootLoader() override {
    return CatchBootWithin(*this, catchWorker_, givenUpWorker_, [](unsigned ms) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    });
  }

  void ReportNotDetected() override {}

  void AwaitJobsOutOfLibrary() override {
    for (std::shared_ptr<CThread>* worker : {&givenUpWorker_, &resetWorker_, &catchWorker_}) {
      if (*worker) (*worker)->RequestStopAndWait();
      worker->reset();
    }
  }

  bool Confirm(const std::string& question) {
    if (options_.yes) return true;
    if (!terminal_) {
      needsAnswer = "--yes";
      return false;
    }
    return AskOnTerminal(question + " [y/N] ");
  }

  // WorkerOwner.
  std::int32_t GetDeviceCode() const override { return state_.GetDeviceCode(); }
  std::int32_t ReadSavedPort() override { return port_; }
  std::shared_ptr<DeviceLibrary> JobLibrary() override { return library_; }
  void DownloadFirmware() override {
    updated_.store(DownloadSelectedFirmware(state_, *library_, path_, port_));
  }
  std::shared_ptr<CThread> BeginWorker() override { return CThread::Begin(); }

  bool Updated() const { return updated_.load(); }

 private:
  bool AskOnTerminal(const std::string& prompt) {
    output_.EndProgress();
    std::cerr << prompt << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;  // end of input or Ctrl+C
    const bool yes = answer == "y" || answer == "Y" || answer == "yes";
    declined = !yes;
    return yes;
  }

  const UpdateOptions& options_;
  int port_;
  Output& output_;
  UpdateRunState& state_;
  std::shared_ptr<DeviceLibrary> library_;
  std::function<std::string(DeviceFamily)> path_;
  bool terminal_;
  std::atomic<bool> updated_{false};
  std::shared_ptr<CThread> resetWorker_;
  std::shared_ptr<CThread> catchWorker_;
  std::shared_ptr<CThread> givenUpWorker_;
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

int RunSingleUpdate(const UpdateOptions& options, int port, Output& output) {
  const Clock::time_point start = Clock::now();
  platform::SupportLog log(platform::SupportLogPath(),
                           platform::ExecutableBaseName() + " " + PortName(port));
  Report report;
  report.port = port;
  const auto finish = [&](const char* result, int exitCode, const std::string& message) {
    output.EndProgress();
    const std::string said = message.substr(0, message.find_last_not_of(" \n") + 1);
    if (!said.empty()) output.Say(PortName(port) + ": " + said);
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

  LibraryResult loaded = LoadDeviceLibrary(catalogue.GetExeDirectory());
  if (!loaded) {
    log.Write("device library not loaded: " + loaded.error().error.Describe());
    return finish("failed", kExitFailed, loaded.error().userText);
  }
  std::shared_ptr<DeviceLibrary> library = WithCallLog(std::move(*loaded), log);
  if (platform::Interrupted()) return finish("interrupted", kExitInterrupted, "interrupted");

  CliRun run(options, port, output, state, library, firmwarePath);
  const ReachedDevice device = ReachDevice(state, *library, port, run);
  report.inBootLoader = device.reached;
  const std::optional<DeviceFamily> family = state.FirstSelectedFamily();
  if (family) report.family = std::string(Family(*family).displayName);
  if (device.installedVersion != UserTextOf(UserText::NothingAcquired) &&
      device.installedVersion != UserTextOf(UserText::NotAcquired))
    report.installed = device.installedVersion;

  if (platform::Interrupted())
    return finish("interrupted", kExitInterrupted, "interrupted before any erase");
  if (!run.needsAnswer.empty())
    return finish("needs-answer", kExitUsage,
                  "the remote does not say which family it is, and no one is at a terminal to "
                  "answer: pass " +
                      run.needsAnswer + " (nothing was erased)");
  if (!run.wrongFamily.empty()) return finish("not-identified", kExitNoDevice, run.wrongFamily);
  if (run.declined) return finish("declined", kExitDeclined, "declined");
  if (!device.reached || !family)
    return finish("not-identified", kExitNoDevice, std::string(UserTextOf(UserText::NotDetected)));

  const std::string path = firmwarePath(*family);
  report.newVersion = GetFirmwareVersionText(path, FolderOf(path), state);
  nlohmann::json identified = EventObject("identified");
  identified["port"] = port;
  identified["family"] = *report.family;
  identified["installed"] = OrNull(report.installed);
  identified["new"] = OrNull(report.newVersion);
  identified["file"] = platform::LoggedFileName(path);
  output.Emit(identified);

  const std::string question = "Update the " + *report.family + " on " + PortName(port) + " from " +
                               report.installed.value_or("an unknown version") + " to " +
                               report.newVersion.value_or("?") + "?";
  if (!run.Confirm(question)) {
    if (!run.needsAnswer.empty())
      return finish("needs-answer", kExitUsage,
                    "no one is at a terminal to confirm the update: pass --yes (nothing was "
                    "erased)");
    return finish(platform::Interrupted() ? "interrupted" : "declined",
                  platform::Interrupted() ? kExitInterrupted : kExitDeclined,
                  "the update was not confirmed (nothing was erased)");
  }
  // The last moment to stop without erasing: from here the library runs to
  // its own end.
  if (platform::Interrupted())
    return finish("interrupted", kExitInterrupted, "interrupted before any erase");

  std::shared_ptr<CThread> worker = run.BeginWorker();
  if (!worker)
    return finish("failed", kExitFailed, std::string(UserTextOf(UserText::NoWorkerThread)));
  worker->SetOwner(&run);
  worker->ResumeThread();

  std::error_code sizeError;
  const double size = static_cast<double>(std::filesystem::file_size(path, sizeError));
  std::string jobName;
  int percent = -1;
  Clock::time_point jobStart = Clock::now();
  while (!worker->DownloadDone()) {
    std::this_thread::sleep_for(kPollPeriod);
    char name[kJobNameBufferSize] = "";
    library->GetJobName(*family, name);
    name[kJobNameBufferSize - 1] = '\0';
    const int progress = library->GetProgress(*family);
    if (name != jobName) {
      jobName = name;
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
  worker->Join();
  if (run.Updated()) {
    report.inBootLoader = false;
    return finish(kResultUpdated, kExitUpdated, std::string(UserTextOf(UserText::Updated)));
  }
  return finish("failed", kExitFailed,
                std::string(UserTextOf(UserText::NotUpdated)) + " (the support log " +
                    platform::LoggedFileName(log.path()) + " names the stage and the cause)");
}
