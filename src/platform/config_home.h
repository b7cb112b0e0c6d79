#pragma once
#include <optional>
#include <string>

namespace platform {

// Folder that holds this program's own settings, named after the executable:
// Linux  ${XDG_CONFIG_HOME:-$HOME/.config}/<exe-name>, where a missing HOME
//        is taken from the password database;
// Windows %APPDATA%\<exe-name>, or beside the program without APPDATA.
// nullopt when no home folder can be found: then no settings are kept, and
// never in a shared folder where another user could plant them.
// Not created here. No trailing separator.
std::optional<std::string> AppConfigDirectory();

}  // namespace platform
