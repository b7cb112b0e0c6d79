// The main window's side of the support log: what a run starts from (the
// program, the system, the port, the firmware files); the run writes how it
// ends, the device library its calls and the reason of a failure.
#include <string>

#include "platform/exe_path.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "platform/system_name.h"
#include "ui/upgrade_dlg.h"
#include "ui/version.h"

void CUpgradeDlg::LogRunBegin(std::int32_t port) {
  platform::SupportLog& log = environment_.Log();
  log.Write("update run begins: " + platform::ExecutableBaseName() + " " + REFLINT_VERSION_DOTTED +
            " on " + platform::SystemDescription());
  if (port < 1) {
    log.Write("port: none chosen");
  } else {
    log.Write("port: COM" + std::to_string(port) + " = " + platform::ComPortDevice(port));
  }
  for (DeviceFamily family : kExaminationOrder) {
    const std::string path = environment_.Catalogue().GetFirmwarePath(family);
    if (path.empty()) continue;
    log.Write("firmware " + std::string(Family(family).displayName) + ": " +
              platform::LoggedFileName(path) + ", version \"" + GetFirmwareVersionText(path) +
              "\"");
  }
}
