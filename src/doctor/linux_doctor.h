#pragma once
// The port doctor's judgement of a Linux machine: for each port the program
// would list, and each known bridge on the USB bus, what stands between the
// user and the remote. Linux only.

#include <string>
#include <vector>

#include "doctor/linux_machine.h"
#include "doctor/report.h"

namespace doctor {

struct PortDevice {
  int port = 0;
  std::string device;  // as platform::ComPortDevice names it
};

// askedPort (0: none) is also judged when its device is missing.
Report ExamineLinux(const LinuxView& view, const std::vector<PortDevice>& ports, int askedPort);

}  // namespace doctor
