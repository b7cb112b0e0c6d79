#pragma once
// What the port doctor found: for each port the program would list and each
// USB-serial bridge on the bus, what stands between the user and the remote,
// the most likely cause first, each with the step that removes it.

#include <string>
#include <vector>

namespace doctor {

enum class Cause {
  kHeld,              // another program has the port open or locked
  kNoPermission,      // the device node is not the user's to open
  kNewLoginNeeded,    // the user joined the node's group after this session began
  kReplugForRule,     // the package's rule applies once the cable is plugged in again
  kBrltty,            // brltty takes the bridge for a braille display
  kNoDriver,          // no kernel driver has taken the bridge (Linux)
  kClaimedByProgram,  // a program took the bridge through libusb
  kModemManager,      // ModemManager probes the port for a modem
  kNoComNumber,       // the tty has no COM number the program would list
  kMissingPort,       // the port's device does not exist
  kDriverMissing,     // Windows: problem code 28
  kDriverFailed,      // Windows: problem code 10
  kDisabled,          // Windows: problem code 22
  kDeviceProblem,     // Windows: another problem code
  kNoComPort,         // Windows: the bridge has no COM port
};

// "no-permission": the cause as JSON names it.
const char* CauseName(Cause cause);

struct Finding {
  Cause cause;
  std::string what;  // what stands in the way, in the user's terms
  std::string fix;   // the command or step that removes it
};

// One port, or one bridge that has no port.
struct Subject {
  int port = 0;                   // COMn; 0 for a bridge without a port
  std::string device;             // "/dev/ttyUSB0"; empty when none
  std::string bridge;             // "WCH CH340 (1a86:7523) on USB 1-1.2"; empty: no known bridge
  std::vector<Finding> findings;  // most likely first; none: nothing in the way
};

struct Report {
  std::vector<Subject> subjects;  // the ports ascending, then the bridges without a port

  // The first finding about COMn, else about a bridge without a port (the
  // cable may be that one); for 0 (no port) the first about a bridge, else
  // of all. Null when nothing was found.
  const Finding* MainFinding(int port) const;
  // Every subject and finding, one line each, for the support log.
  std::vector<std::string> Lines() const;
};

// "COM5 (/dev/ttyUSB0)", "WCH CH340 (1a86:7523) on USB 1-1.2": what a subject is.
std::string SubjectText(const Subject& subject);

// The message the window shows for a finding: what, then how to fix it.
std::string Message(const Finding& finding);

}  // namespace doctor
