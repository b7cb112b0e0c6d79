#include "platform/exe_path.h"

#include "platform/path_text.h"

namespace platform {

std::string ExecutableBaseName() {
  std::string name(NamePart(ExecutablePath()));
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace platform
