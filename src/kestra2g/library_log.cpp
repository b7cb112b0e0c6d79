#include "kestra2g/library_log.h"

#include <string_view>

#include "platform/serial_port.h"

namespace kestra2g {

platform::SupportLog& LibraryLog() {
  static platform::SupportLog log(platform::SupportLogPath(), "Kestra2G");
  return log;
}

std::string PortText(std::int32_t port) {
  const std::string device = platform::ComPortDevice(port);
  return "COM" + std::to_string(port) + (device.empty() ? "" : " (" + device + ")");
}

std::string FileNameOnly(const char* path) {
  if (path == nullptr || *path == '\0') return "(none)";
  return platform::LoggedFileName(path);
}

}  // namespace kestra2g
