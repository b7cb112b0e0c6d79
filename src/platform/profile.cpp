#include "platform/profile.h"

#include "platform/config_home.h"
#include "platform/exe_path.h"
#include "platform/path_text.h"

namespace platform {

Profile Profile::ForThisProgram() {
  const std::optional<std::string> folder = AppConfigDirectory();
  if (!folder) return Profile(std::string());
  return Profile(JoinPath(*folder, ExecutableBaseName() + ".ini"));
}

}  // namespace platform
