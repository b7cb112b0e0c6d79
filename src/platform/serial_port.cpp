#include "platform/serial_port.h"

namespace platform {

std::string PortText(int n) {
  const std::string device = ComPortDevice(n);
  return "COM" + std::to_string(n) + (device.empty() ? "" : " (" + device + ")");
}

}  // namespace platform
