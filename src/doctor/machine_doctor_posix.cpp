#include <algorithm>

#include "doctor/linux_doctor.h"
#include "doctor/machine_doctor.h"
#include "platform/serial_port.h"

namespace doctor {

Report ExamineMachine(int askedPort) {
  std::vector<PortDevice> ports;
  for (int n : platform::SystemPortNumbers()) ports.push_back({n, platform::ComPortDevice(n)});
  if (askedPort > 0 && std::none_of(ports.begin(), ports.end(),
                                    [&](const PortDevice& p) { return p.port == askedPort; }))
    ports.push_back({askedPort, platform::ComPortDevice(askedPort)});
  return ExamineLinux(LiveLinuxView(), ports, askedPort);
}

}  // namespace doctor
