#pragma once
#include <string>

namespace platform {

// The platform's path separator ('\\' on Windows, '/' elsewhere).
char PathSeparator();

// Full path of the running executable; empty if it cannot be found.
std::string ExecutablePath();

// The executable's file name without folder and without extension
// ("reflint", "Reflint"); names the profile and the configuration folder.
std::string ExecutableBaseName();

}  // namespace platform
