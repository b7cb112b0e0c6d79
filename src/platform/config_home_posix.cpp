#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/config_home.h"
#include "platform/exe_path.h"
#include "platform/path_text.h"

namespace platform {
namespace {

// Only absolute paths count: a relative one would depend on the current
// folder.
std::optional<std::string> AbsolutePath(const char* path) {
  if (path == nullptr || path[0] != '/') return std::nullopt;
  return std::string(path);
}

std::optional<std::string> HomeFromPasswordDatabase() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) return std::nullopt;
    return AbsolutePath(found->pw_dir);
  }
}

}  // namespace

std::optional<std::string> AppConfigDirectory() {
  const std::string name = ExecutableBaseName();
  if (name.empty()) return std::nullopt;
  std::optional<std::string> base = AbsolutePath(std::getenv("XDG_CONFIG_HOME"));
  if (!base) {
    std::optional<std::string> home = AbsolutePath(std::getenv("HOME"));
    if (!home) home = HomeFromPasswordDatabase();
    if (!home) return std::nullopt;
    base = JoinPath(*home, ".config");
  }
  return JoinPath(*base, name);
}

}  // namespace platform
