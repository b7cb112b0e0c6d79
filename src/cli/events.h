#pragma once
// What reflint-cli tells while it works: JSON Lines on stdout with --json
// (and nothing else there), messages and a progress line on stderr.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

inline constexpr const char* kJsonSchema = "reflint-cli/1";

// The result words of the result and summary objects.
inline constexpr const char* kResultUpdated = "updated";

// An event object with its schema and name.
nlohmann::json EventObject(const char* event);

// A string, or null when absent.
nlohmann::json OrNull(const std::optional<std::string>& text);

class Output {
 public:
  Output(bool json, bool quiet);

  // One JSON line on stdout, flushed at once (another program reads it live).
  void Emit(const nlohmann::json& object);
  // A message on stderr, on a line of its own; none when quiet.
  void Say(const std::string& text);
  // The progress line: drawn over itself, only on a terminal.
  void Progress(const std::string& line);
  void EndProgress();

  bool json() const { return json_; }

 private:
  bool json_;
  bool quiet_;
  bool progressLine_;
  bool progressShown_ = false;
};

// "2.5 KB/s" and "0:12 left" parts of a progress line.
std::string ProgressLine(const std::string& label, const std::string& job, int percent,
                         double bytesPerSecond, std::optional<double> secondsLeft);

// Asks on stderr and reads the answer from the terminal: whether "y" or
// "yes" was typed; none at the end of input or after Ctrl+C.
std::optional<bool> AskOnTerminal(Output& output, const std::string& prompt);
