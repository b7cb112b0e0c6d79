#pragma once
// The port doctor's judgement of a Windows machine, from what SetupAPI says
// of each USB device: its ids, its problem code and its COM port. The
// judgement is portable (tests feed it recorded answers); reading SetupAPI
// is Windows only.

#include <functional>
#include <string>
#include <vector>

#include "doctor/report.h"

namespace doctor {

// Device Manager's problem codes (CM_PROB_*) the doctor explains.
inline constexpr unsigned kProblemFailedStart = 10;
inline constexpr unsigned kProblemDisabled = 22;
inline constexpr unsigned kProblemFailedInstall = 28;

// One physical USB device, with what its interfaces and ports below it add.
struct UsbDeviceRecord {
  std::string hardwareId;                  // "USB\\VID_1A86&PID_7523&REV_0264"
  std::vector<std::string> compatibleIds;  // "USB\\Class_02&SubClass_02&Prot_01"
  std::string description;                 // "USB-SERIAL CH340"
  unsigned problem = 0;                    // of it or a device below it; 0: none
  std::string portName;                    // "COM5"; empty when it has none
};

// ports: each COMn the system names; opens(n): COMn can be opened now.
// askedPort (0: none) is judged also when the system has no such port.
Report ExamineWindows(const std::vector<UsbDeviceRecord>& devices, const std::vector<int>& ports,
                      const std::function<bool(int)>& opens, int askedPort);

#ifdef _WIN32
// Every present USB device, through SetupAPI and the configuration manager.
std::vector<UsbDeviceRecord> ReadUsbDevices();
#endif

}  // namespace doctor
