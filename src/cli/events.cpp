#include "cli/events.h"

#include <cstdio>
#include <iostream>

#include "platform/console.h"

nlohmann::json EventObject(const char* event) {
  return nlohmann::json{{"schema", kJsonSchema}, {"event", event}};
}

nlohmann::json OrNull(const std::optional<std::string>& text) {
  return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

Output::Output(bool json, bool quiet)
    : json_(json),
      quiet_(quiet),
      progressLine_(!quiet && platform::IsTerminal(platform::Stream::kErr)) {}

void Output::Emit(const nlohmann::json& object) {
  if (!json_) return;
  // Texts from a device may hold any byte: never let the dump throw.
  std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n'
            << std::flush;
}

void Output::Say(const std::string& text) {
  if (quiet_) return;
  EndProgress();
  std::cerr << text << '\n' << std::flush;
}

void Output::Progress(const std::string& line) {
  if (!progressLine_) return;
  std::cerr << "\r\033[K" << line << std::flush;
  progressShown_ = true;
}

void Output::EndProgress() {
  if (!progressShown_) return;
  std::cerr << '\n' << std::flush;
  progressShown_ = false;
}

std::string ProgressLine(const std::string& label, const std::string& job, int percent,
                         double bytesPerSecond, std::optional<double> secondsLeft) {
  char text[160];
  std::snprintf(text, sizeof text, "%s %-12s %3d %%", label.c_str(), job.c_str(), percent);
  std::string line = text;
  // A job's first moments, or one that ends as it begins, have no rate yet.
  if (bytesPerSecond > 0) {
    std::snprintf(text, sizeof text, "  %6.1f KB/s", bytesPerSecond / 1024.0);
    line += text;
  }
  if (secondsLeft) {
    const int left = static_cast<int>(*secondsLeft + 0.5);
    std::snprintf(text, sizeof text, "  %d:%02d left", left / 60, left % 60);
    line += text;
  }
  return line;
}

std::optional<bool> AskOnTerminal(Output& output, const std::string& prompt) {
  output.EndProgress();
  std::cerr << prompt << std::flush;
  const std::optional<std::string> typed = platform::ReadInputLine();
  if (!typed) return std::nullopt;
  return *typed == "y" || *typed == "Y" || *typed == "yes";
}
