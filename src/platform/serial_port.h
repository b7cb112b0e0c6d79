#pragma once
// Serial ports named COM1..COMn as the user knows them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform {

// The device that stands for COMn on this machine.
// Windows: "\\\\.\\COMn".
// Linux: the target of <AppConfigDirectory()>/dosdevices/comN when that link
// exists (as wine does it); otherwise COM1-4 -> /dev/ttyS0-3,
// COM5-10 -> /dev/ttyUSB0-5, COM11-15 -> /dev/ttyACM0-4; empty for others.
std::string ComPortDevice(int n);

// "COM3 (/dev/pts/4)": the port and its device, as failures name it.
std::string PortText(int n);

// An open serial port: exclusive, raw, 115200 8N1, never blocking forever.
// Closed when destroyed.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens COMn exclusively for reading and writing; refused when another
  // program holds it (on Linux also by a UUCP lock or just by having it
  // open, see port_in_use.h, and then it takes the UUCP lock itself). The
  // error names the port (PortText), the failing step and the system's
  // error, or how another program holds the port.
  static Result<std::unique_ptr<SerialPort>> Open(int n);

  // Writes every byte; false when the port failed or vanished.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

  // Waits at most timeoutMs for input, then reads what is there (up to
  // buffer.size()). Returns the count, 0 on time-out, -1 when the port
  // failed or the other side hung up.
  virtual int Read(std::span<std::uint8_t> buffer, int timeoutMs) = 0;

  // Whether this port can run at `baud` (Linux: a standard termios rate;
  // Windows: what GetCommProperties says the driver takes).
  virtual bool Allows(int baud) const = 0;
  // Switches the line to `baud` once what was written has left; the byte
  // format stays. False when the port refused it.
  virtual bool SetRate(int baud) = 0;

  // Why the line ended (the step, the system's error or what was seen: a
  // hang-up, a stall); nothing while it is up.
  const std::optional<Error>& LineFailure() const { return lineFailure_; }

 protected:
  bool gone() const { return lineFailure_.has_value(); }
  // The line is gone for good: later calls fail at once, without touching it.
  template <typename T>
  T Gone(T failure, Error why) {
    lineFailure_ = std::move(why);
    return failure;
  }

 private:
  std::optional<Error> lineFailure_;
};

// Linux: <AppConfigDirectory()>/dosdevices/comN, the link that may name
// COMn's device (as wine does it); empty when there is no such folder.
std::string ComPortLinkPath(int n);

// True when COMn exists and could be opened exclusively for reading and
// writing right now. Only looks: the port is closed again at once, with its
// line settings, pending input and exclusive flag untouched.
bool ProbePort(int n);
// As ProbePort, with why it could not be opened, for the user: no device,
// not allowed, held by another program (how, in *held), or otherwise.
enum class PortState { kFree, kMissing, kDenied, kHeld, kOther };
PortState ProbePortState(int n, std::string* held = nullptr);

// Every port number with a device on this system, ascending: COM1-15 whose
// device exists and each dosdevices link (Linux); each COMn the system
// names (Windows).
std::vector<int> SystemPortNumbers();

}  // namespace platform
