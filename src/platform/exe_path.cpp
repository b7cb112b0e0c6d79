#include "platform/exe_path.h"

namespace platform {

std::string ExecutableBaseName() {
  std::string name = ExecutablePath();
  const auto slash = name.find_last_of(std::string("/") + PathSeparator());
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace platform
