#pragma once
// The support log a user can send when an update fails:
// <AppConfigDirectory()>/<exe-name>.log, written by the program and by its
// device library (which runs in the program's process and so finds the same
// folder). Each line is stamped with the UTC time and its writer's name.
// Kept below a cap, with one older file beside it.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::uintmax_t kSupportLogCap = 1024 * 1024;

// <AppConfigDirectory()>/<exe-name>.log; empty when there is no such folder.
std::string SupportLogPath();

// A file's name as the log shows it: without its folder, which may name the
// user. Cut at '/' and at '\' on every platform, whoever wrote the path.
std::string LoggedFileName(std::string_view path);

class SupportLog {
 public:
  // Lines go to the file at path (its folder is made when missing); an
  // empty path throws every line away.
  SupportLog(std::string path, std::string writer, std::uintmax_t cap = kSupportLogCap);
  // Notes lines still counted as repeats.
  ~SupportLog();
  SupportLog(const SupportLog&) = delete;
  SupportLog& operator=(const SupportLog&) = delete;

  // A log that writes nowhere.
  static SupportLog& Discard();

  // Writes one line (a line break inside becomes a space). Any thread.
  void Write(std::string_view text);
  // As Write, but a line whose repeat key equals the one before from this
  // writer is only counted: a poll that fails the same way many times
  // leaves one line and a count.
  void Write(std::string_view text, std::string_view repeatKey);

  const std::string& path() const { return path_; }

 private:
  void FlushRepeats();                 // with mutex_ held
  void Append(std::string_view text);  // with mutex_ held

  std::string path_;
  std::string writer_;
  std::uintmax_t cap_;
  std::mutex mutex_;
  bool folderMade_ = false;
  std::string lastKey_;
  int repeats_ = 0;
};

}  // namespace platform
