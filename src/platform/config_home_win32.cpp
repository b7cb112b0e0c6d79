#include <windows.h>

#include <vector>

#include "platform/config_home.h"
#include "platform/exe_path.h"

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
    base = ExecutablePath();
    const auto slash = base.find_last_of('\\');
    base = slash == std::string::npos ? std::string(".") : base.substr(0, slash);
  }
  return base + "\\" + ExecutableBaseName();
}

}  // namespace platform
