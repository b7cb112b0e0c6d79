// The main window's side of the support log: what a run starts from (the
// program, the system, the port, the firmware files) and how it ends. The
// device library writes its calls and the reason of a failure beside it.
#include <string>

#include "platform/exe_path.h"
#include "platform/serial_port.h"
#include "platform/system_name.h"
#include "ui/upgrade_dlg.h"
#include "ui/version.h"

namespace {

#define REFLINT_TEXT(x) #x
#define REFLINT_NUMBER(x) REFLINT_TEXT(x)
constexpr const char* kVersion =
    REFLINT_NUMBER(REFLINT_VERSION_MAJOR) "." REFLINT_NUMBER(REFLINT_VERSION_MINOR) "." REFLINT_NUMBER(
        REFLINT_VERSION_PATCH) "." REFLINT_NUMBER(REFLINT_VERSION_BUILD);
#undef REFLINT_NUMBER
#undef REFLINT_TEXT

std::string FileNameOnly(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CUpgradeDlg::LogRunBegin(std::int32_t port) {
  platform::SupportLog& log = environment_.Log();
  log.Write("update run begins: " + platform::ExecutableBaseName() + " " + kVersion + " on " +
            platform::SystemDescription());
  if (port < 1) {
    log.Write("port: none chosen");
  } else {
    log.Write("port: COM" + std::to_string(port) + " = " + platform::ComPortDevice(port));
  }
  for (DeviceFamily family : kExaminationOrder) {
    const std::string path = environment_.Catalogue().GetFirmwarePath(family);
    if (path.empty()) continue;
    log.Write("firmware " + std::string(Family(family).displayName) + ": " + FileNameOnly(path) +
              ", version \"" + GetFirmwareVersionText(path) + "\"");
  }
}

void CUpgradeDlg::LogRunEnd(const std::string& how) {
  environment_.Log().Write("update run ends: " + how);
}
