#include "platform/exe_path.h"

#include <unistd.h>

#include <array>

namespace platform {

char PathSeparator() { return '/'; }

std::string ExecutablePath() {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace platform
