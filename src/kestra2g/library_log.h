#pragma once
// The library's side of the program's support log: the same file, since the
// library runs in the program's process and finds its configuration folder.

#include <cstdint>
#include <string>

#include "platform/support_log.h"

namespace kestra2g {

platform::SupportLog& LibraryLog();

// "COM3 (/dev/ttyUSB0)"
std::string PortText(std::int32_t port);

// The file's name as the log shows it (platform::LoggedFileName); "(none)"
// for no path.
std::string FileNameOnly(const char* path);

}  // namespace kestra2g
