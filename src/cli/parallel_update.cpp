#include "cli/parallel_update.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "cli/exit_codes.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/exe_path.h"

namespace {

// One line of a child's output, or its end (with its exit code).
struct ChildEvent {
  int port;
  bool ended;
  int exitCode;
  std::string line;
};

class EventQueue {
 public:
  void Push(ChildEvent event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_one();
  }
  std::optional<ChildEvent> Pop(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, wait, [&] { return !events_.empty(); })) return std::nullopt;
    ChildEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ChildEvent> events_;
};

struct PortState {
  std::string job;
  int percent = 0;
  nlohmann::json result;  // the child's result object; null until it came
  int exitCode = -1;
  bool ended = false;
};

std::string Text(const nlohmann::json& value, const char* fallback = "-") {
  return value.is_string() ? value.get<std::string>() : fallback;
}

std::vector<std::string> ChildArguments(const UpdateOptions& options, int port) {
  std::vector<std::string> args{
      "update", "--port",  std::to_string(port), "--yes",
      "--json", "--quiet", "--reset-timeout",    std::to_string(options.resetTimeoutSeconds)};
  if (options.family) {
    args.push_back("--family");
    args.emplace_back(Family(*options.family).displayName);
  }
  if (!options.file.empty()) {
    args.push_back("--file");
    args.push_back(options.file);
  }
  return args;
}

int CombinedExitCode(const std::map<int, PortState>& states) {
  bool all = true;
  bool interrupted = false;
  bool failed = false;
  int lowest = 0;
  for (const auto& [port, state] : states) {
    const int code = state.exitCode;
    all = all && code == kExitUpdated;
    interrupted = interrupted || code == kExitInterrupted;
    failed = failed || code == kExitFailed;
    if (code != kExitUpdated && (lowest == 0 || code < lowest)) lowest = code;
  }
  if (all) return kExitUpdated;
  if (interrupted) return kExitInterrupted;
  if (failed) return kExitFailed;
  return lowest > 0 ? lowest : kExitFailed;
}

}  // namespace

int RunParallelUpdate(const UpdateOptions& options, const std::vector<int>& ports, Output& output) {
  const std::string exe = platform::ExecutablePath();
  EventQueue queue;
  std::map<int, PortState> states;
  std::vector<std::thread> readers;
  std::vector<std::shared_ptr<platform::ChildProcess>> children;
  for (int port : ports) {
    PortState& state = states[port];
    platform::Result<std::unique_ptr<platform::ChildProcess>> started =
        platform::ChildProcess::Start(exe, ChildArguments(options, port));
    if (!started) {
      state.ended = true;
      state.exitCode = kExitFailed;
      state.result = EventObject("result");
      state.result["port"] = port;
      state.result["result"] = "failed";
      state.result["message"] = "could not start: " + started.error().Describe();
      continue;
    }
    std::shared_ptr<platform::ChildProcess> child = std::move(*started);
    children.push_back(child);
    readers.emplace_back([child, port, &queue] {
      std::string pending;
      while (child->Read(pending)) {
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
          queue.Push({port, false, 0, pending.substr(0, end)});
          pending.erase(0, end + 1);
        }
      }
      queue.Push({port, true, child->Wait(), {}});
    });
  }

  std::size_t running = readers.size();
  bool interruptPassedOn = false;
  while (running > 0) {
    if (platform::Interrupted() && !interruptPassedOn) {
      interruptPassedOn = true;
      output.Say(
          "Interrupted: no new download starts; running downloads end as the library ends "
          "them.");
      for (const auto& child : children) child->Interrupt();
    }
    std::optional<ChildEvent> event = queue.Pop(std::chrono::milliseconds(100));
    if (!event) continue;
    PortState& state = states[event->port];
    if (event->ended) {
      state.ended = true;
      state.exitCode = event->exitCode;
      --running;
    } else {
      nlohmann::json object = nlohmann::json::parse(event->line, nullptr, false);
      if (!object.is_object()) continue;
      output.Emit(object);
      const std::string kind = Text(object["event"], "");
      if (kind == "job") {
        state.job = Text(object["name"], "");
      } else if (kind == "progress" && object["percent"].is_number_integer()) {
        state.percent = object["percent"].get<int>();
      } else if (kind == "result") {
        state.result = object;
      }
    }
    std::string line;
    for (const auto& [port, s] : states) {
      if (s.ended || s.job.empty()) continue;
      char part[64];
      std::snprintf(part, sizeof part, "COM%d %s %d %%  ", port, s.job.c_str(), s.percent);
      line += part;
    }
    output.Progress(line);
  }
  for (std::thread& reader : readers) reader.join();
  output.EndProgress();

  // A child that ended without its result object (it crashed, or could not
  // start) failed.
  nlohmann::json summary = EventObject("summary");
  summary["ports"] = nlohmann::json::array();
  std::vector<int> leftInBoot;
  std::string table = "port   family  installed -> new        result          seconds\n";
  for (auto& [port, state] : states) {
    nlohmann::json& r = state.result;
    if (!r.is_object()) {
      r = EventObject("result");
      r["port"] = port;
      r["result"] = "failed";
      r["message"] =
          "ended with exit code " + std::to_string(state.exitCode) + " before its result";
    }
    if (state.exitCode == kExitUpdated && Text(r["result"]) != kResultUpdated)
      state.exitCode = kExitFailed;
    const bool inBoot = r["in_boot_loader"].is_boolean() && r["in_boot_loader"].get<bool>();
    if (inBoot) leftInBoot.push_back(port);
    char row[200];
    std::snprintf(row, sizeof row, "COM%-3d %-7s %-9s -> %-9s %-15s %7.2f\n", port,
                  Text(r["family"]).c_str(), Text(r["installed"]).c_str(), Text(r["new"]).c_str(),
                  Text(r["result"]).c_str(),
                  r["seconds"].is_number() ? r["seconds"].get<double>() : 0.0);
    table += row;
    if (!Text(r["message"], "").empty() && Text(r["result"]) != kResultUpdated)
      table += "       " + Text(r["message"]) + "\n";
    summary["ports"].push_back({{"port", port},
                                {"family", r["family"]},
                                {"installed", r["installed"]},
                                {"new", r["new"]},
                                {"result", r["result"]},
                                {"exit_code", state.exitCode},
                                {"seconds", r["seconds"]},
                                {"in_boot_loader", inBoot}});
  }
  const int exitCode = CombinedExitCode(states);
  if (!leftInBoot.empty()) {
    table += "Left in their boot loader:";
    for (int port : leftInBoot) table += " COM" + std::to_string(port);
    table += "\n";
  }
  summary["left_in_boot_loader"] = leftInBoot;
  summary["exit_code"] = exitCode;
  output.Say(table);
  output.Emit(summary);
  return exitCode;
}

std::optional<std::vector<int>> FailedPorts(const std::string& summaryPath, std::string* error) {
  std::ifstream in(summaryPath);
  std::map<int, std::string> results;
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (!object.is_object() || object["schema"] != kJsonSchema) continue;
    const auto take = [&](nlohmann::json entry) {
      if (entry["port"].is_number_integer() && entry["result"].is_string())
        results[entry["port"].get<int>()] = entry["result"].get<std::string>();
    };
    if (object["event"] == "result") take(object);
    if (object["event"] == "summary" && object["ports"].is_array())
      for (const nlohmann::json& entry : object["ports"]) take(entry);
  }
  if (results.empty()) {
    *error = "--retry-failed: " + summaryPath +
             " holds no result of reflint-cli (save the output of update --json)";
    return std::nullopt;
  }
  std::vector<int> failed;
  for (const auto& [port, result] : results)
    if (result != kResultUpdated) failed.push_back(port);
  return failed;
}
