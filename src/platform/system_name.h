#pragma once
#include <string>

namespace platform {

// The operating system, its release and the machine, for a support log
// ("Linux 6.1.0-18-amd64 x86_64", "Windows 10.0.19045 (wine 8.0)"). Nothing
// that names the computer or its user.
std::string SystemDescription();

}  // namespace platform
