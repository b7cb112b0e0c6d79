#include "platform/support_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/config_home.h"
#include "platform/exe_path.h"
#include "platform/log_file.h"
#include "platform/path_text.h"

namespace platform {
namespace {

std::string UtcStamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return text;
}

}  // namespace

std::string LoggedFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SupportLogPath() {
  const std::optional<std::string> folder = AppConfigDirectory();
  if (!folder) return {};  // no home: nowhere safe to write
  return JoinPath(*folder, ExecutableBaseName() + ".log");
}

SupportLog::SupportLog(std::string path, std::string writer, std::uintmax_t cap)
    : path_(std::move(path)), writer_(std::move(writer)), cap_(cap) {}

SupportLog::~SupportLog() {
  std::lock_guard lock(mutex_);
  FlushRepeats();
}

SupportLog& SupportLog::Discard() {
  static SupportLog nowhere("", "");
  return nowhere;
}

void SupportLog::Write(std::string_view text) { Write(text, {}); }

void SupportLog::Write(std::string_view text, std::string_view repeatKey) {
  if (path_.empty()) return;
  std::lock_guard lock(mutex_);
  if (!repeatKey.empty() && repeatKey == lastKey_) {
    ++repeats_;
    return;
  }
  FlushRepeats();
  lastKey_ = repeatKey;
  Append(text);
}

void SupportLog::FlushRepeats() {
  if (repeats_ == 0) return;
  // Appended piece by piece: "(" + std::to_string(...) trips g++ 12's -Wrestrict.
  std::string text = std::to_string(repeats_);
  text.append(repeats_ == 1 ? " more time: " : " more times: ").append(lastKey_);
  Append("(" + text + ")");
  repeats_ = 0;
}

void SupportLog::Append(std::string_view text) {
  if (!folderMade_) {
    MakeFolderFor(path_);
    folderMade_ = true;
  }
  std::string line = UtcStamp() + " " + writer_ + ": ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  AppendCappedLine(path_, line, cap_);
}

}  // namespace platform
