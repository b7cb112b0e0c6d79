#pragma once
// Serial ports named COM1..COMn as the user knows them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The device that stands for COMn on this machine.
// Windows: "\\\\.\\COMn".
// Linux: the target of <AppConfigDirectory()>/dosdevices/comN when that link
// exists (as wine does it); otherwise COM1-4 -> /dev/ttyS0-3,
// COM5-10 -> /dev/ttyUSB0-5, COM11-15 -> /dev/ttyACM0-4; empty for others.
std::string ComPortDevice(int n);

enum class PortError { None, NotFound, Busy, Denied, Other };

// An open serial port: exclusive, raw, 115200 8N1, never blocking forever.
// Closed when destroyed.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens COMn exclusively for reading and writing; Busy when another program
  // holds it (on Linux also by a UUCP lock or just by having it open, see
  // port_in_use.h, and then it takes the UUCP lock itself). Null on failure,
  // with the reason in *error and the system's error number (errno,
  // GetLastError) in *systemError when given; 0 there when the system
  // reported none.
  static std::unique_ptr<SerialPort> Open(int n, PortError* error = nullptr,
                                          int* systemError = nullptr);

  // Writes every byte; false when the port failed or vanished.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

  // Waits at most timeoutMs for input, then reads what is there (up to
  // buffer.size()). Returns the count, 0 on time-out, -1 when the port
  // failed or the other side hung up.
  virtual int Read(std::span<std::uint8_t> buffer, int timeoutMs) = 0;

  // The system's error number (errno, GetLastError) that ended the line;
  // 0 while it is up, and when it ended without one (a hang-up, a stall).
  int LineError() const { return lineError_; }

 protected:
  bool gone() const { return gone_; }
  // The line is gone for good: later calls fail at once, without touching it.
  template <typename T>
  T Gone(T failure, long long systemError = 0) {  // errno or GetLastError
    gone_ = true;
    lineError_ = static_cast<int>(systemError);
    return failure;
  }

 private:
  bool gone_ = false;
  int lineError_ = 0;
};

// Linux: <AppConfigDirectory()>/dosdevices/comN, the link that may name
// COMn's device (as wine does it); empty when there is no such folder.
std::string ComPortLinkPath(int n);

// True when COMn exists and could be opened exclusively for reading and
// writing right now. Only looks: the port is closed again at once, with its
// line settings, pending input and exclusive flag untouched.
bool ProbePort(int n);
// As ProbePort, with why it could not be opened; None when it could.
PortError ProbePortError(int n);

// Every port number with a device on this system, ascending: COM1-15 whose
// device exists and each dosdevices link (Linux); each COMn the system
// names (Windows).
std::vector<int> SystemPortNumbers();

}  // namespace platform
