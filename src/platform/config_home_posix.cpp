#include <cstdlib>

#include "platform/config_home.h"
#include "platform/exe_path.h"

namespace platform {

std::string AppConfigDirectory() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/" + ExecutableBaseName();
}

}  // namespace platform
