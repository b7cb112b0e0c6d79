#include "doctor/machine_doctor.h"
#include "doctor/windows_doctor.h"
#include "platform/serial_port.h"

namespace doctor {

Report ExamineMachine(int askedPort) {
  return ExamineWindows(
      ReadUsbDevices(), platform::SystemPortNumbers(), [](int n) { return platform::ProbePort(n); },
      askedPort);
}

}  // namespace doctor
