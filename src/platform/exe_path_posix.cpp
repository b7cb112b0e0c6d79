#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "platform/exe_path.h"

namespace platform {

char PathSeparator() { return '/'; }

std::string ExecutablePath() {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  std::string path(buffer.data(), static_cast<std::size_t>(n));
  // Once the file was replaced (an update) or removed, the kernel appends
  // this mark; the program's folder and name are still the same. A file
  // whose name really ends so exists, and keeps its name.
  constexpr std::string_view kDeleted = " (deleted)";
  struct stat info {};
  if (path.ends_with(kDeleted) && lstat(path.c_str(), &info) != 0)
    path.erase(path.size() - kDeleted.size());
  return path;
}

}  // namespace platform
