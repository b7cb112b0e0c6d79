#include <windows.h>

#include <vector>

#include "platform/config_home.h"
#include "platform/exe_path.h"
#include "platform/path_text.h"

namespace platform {

std::optional<std::string> AppConfigDirectory() {
  std::string base;
  const DWORD n = GetEnvironmentVariableA("APPDATA", nullptr, 0);
  if (n > 0) {
    std::vector<char> buffer(n);
    if (GetEnvironmentVariableA("APPDATA", buffer.data(), n) > 0) base = buffer.data();
  }
  if (base.empty()) {
    // No profile folder: keep the settings beside the program rather than in
    // the Windows folder.
    const std::string exe = ExecutablePath();
    const std::string_view folder = FolderPart(exe);
    base = folder.empty() ? std::string(".") : std::string(folder);
  }
  return JoinPath(base, ExecutableBaseName());
}

}  // namespace platform
