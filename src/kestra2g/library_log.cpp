#include "kestra2g/library_log.h"

#include <mutex>
#include <string_view>

#include "kestra2g/wire/firmware_signature.h"
#include "platform/serial_port.h"
#include "reflint_version.h"

namespace kestra2g {

platform::SupportLog& LibraryLog() {
  static platform::SupportLog log(platform::SupportLogPath(), "Kestra2G");
  // Whose firmware this library takes leads its story in the log.
  static std::once_flag once;
  std::call_once(once, [] {
    log.Write(std::string("Kestra2G ") + REFLINT_VERSION_DOTTED + ": firmware signing keys " +
              wire::KeySlotsText(wire::BuiltInKeySlots()));
  });
  return log;
}

std::string PortText(std::int32_t port) { return platform::PortText(port); }

std::string FileNameOnly(const char* path) {
  if (path == nullptr || *path == '\0') return "(none)";
  return platform::LoggedFileName(path);
}

}  // namespace kestra2g
