#pragma once
#include <string>

namespace platform {

// Folder that holds this program's own settings, named after the executable:
// Linux  ${XDG_CONFIG_HOME:-$HOME/.config}/<exe-name>
// Windows %APPDATA%\<exe-name>
// Not created here. No trailing separator.
std::string AppConfigDirectory();

}  // namespace platform
