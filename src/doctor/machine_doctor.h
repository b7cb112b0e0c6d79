#pragma once
// The port doctor on the machine it runs on: every port the program would
// list (and askedPort, 0: none, also when it is missing), every USB-serial
// bridge on the bus, judged as linux_doctor.h or windows_doctor.h says.

#include "doctor/report.h"

namespace doctor {

Report ExamineMachine(int askedPort);

}  // namespace doctor
