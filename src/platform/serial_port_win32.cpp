#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/serial_port.h"

namespace platform {
namespace {

PortError ErrorFromLastError(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PortError::NotFound;
    case ERROR_ACCESS_DENIED:  // what Windows answers for a port in use
    case ERROR_SHARING_VIOLATION:
      return PortError::Busy;
    default:
      return PortError::Other;
  }
}

// A kernel handle closed with its owner.
class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// Overlapped I/O waited for on an event: a read comes back as soon as bytes
// arrive and at the caller's time-out otherwise, also under wine, which
// waits out the whole time-out on MAXDWORD/MAXDWORD/N read time-outs.
class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE port)
      : port_(port),
        readDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        writeDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  bool ready() const { return readDone_ && writeDone_; }
  HANDLE handle() const { return port_.get(); }

  bool Write(std::span<const std::uint8_t> bytes) override {
    if (gone()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
      // The driver ends a stalled write by the write time-out; this bound
      // only guards against one that does not.
      const DWORD bound = kWriteStallMs + chunk * kWriteMsPerByte + 1000;
      OVERLAPPED ov{};
      ov.hEvent = writeDone_.get();
      DWORD written = 0;
      if (!Finish(WriteFile(port_.get(), bytes.data() + done, chunk, nullptr, &ov), ov, bound,
                  &written)) {
        return Gone(false, GetLastError());
      }
      if (written == 0) return Gone(false);
      done += written;
    }
    return true;
  }

  int Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
    if (gone()) return -1;
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
    DWORD got = 0;
    bool timedOut = false;
    OVERLAPPED ov{};
    ov.hEvent = readDone_.get();
    const BOOL started = ReadFile(port_.get(), buffer.data(), size, nullptr, &ov);
    if (!Finish(started, ov, static_cast<DWORD>(std::max(timeoutMs, 0)), &got, &timedOut)) {
      return Gone(-1, GetLastError());
    }
    // A read that waits for its first byte without end completes empty only
    // when the device went away.
    if (got == 0 && !timedOut) return Gone(-1);
    return static_cast<int>(got);
  }

  // Reads wait for their first byte without a time-out of their own and end
  // 1 ms after the last byte of a burst; writes stall at most kWriteStallMs.
  bool SetTimeouts() {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 1;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    t.WriteTotalTimeoutConstant = kWriteStallMs;
    return SetCommTimeouts(port_.get(), &t) != 0;
  }

 private:
  static constexpr DWORD kWriteStallMs = 3000;  // a line that takes nothing for this long is dead
  static constexpr DWORD kWriteMsPerByte = 1;

  // Completes one overlapped operation begun with result `started`, waiting
  // at most waitMs; past that it is cancelled and counts as a time-out with
  // what it had transferred. False when the line failed.
  bool Finish(BOOL started, OVERLAPPED& ov, DWORD waitMs, DWORD* count, bool* timedOut = nullptr) {
    *count = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    bool cancelled = false;
    if (WaitForSingleObject(ov.hEvent, waitMs) != WAIT_OBJECT_0) {
      CancelIoEx(port_.get(), &ov);
      cancelled = true;
    }
    if (GetOverlappedResult(port_.get(), &ov, count, TRUE)) {
      if (timedOut != nullptr) *timedOut = cancelled;
      return !cancelled || timedOut != nullptr;
    }
    // Our own cancel: a time-out. Any other failure (access denied, aborted,
    // bad command after the device was removed; a broken pipe) ends the line.
    if (cancelled && GetLastError() == ERROR_OPERATION_ABORTED && timedOut != nullptr) {
      *timedOut = true;
      return true;
    }
    return false;
  }

  Handle port_;
  Handle readDone_, writeDone_;
};

}  // namespace

std::string ComPortDevice(int n) {
  if (n < 1) return {};
  return "\\\\.\\COM" + std::to_string(n);
}

std::unique_ptr<SerialPort> SerialPort::Open(int n, PortError* error, int* systemError) {
  PortError ignored = PortError::None;
  PortError& err = error != nullptr ? *error : ignored;
  int ignoredNumber = 0;
  int& number = systemError != nullptr ? *systemError : ignoredNumber;
  number = 0;
  const std::string device = ComPortDevice(n);
  if (device.empty()) {
    err = PortError::NotFound;
    return nullptr;
  }
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    number = static_cast<int>(GetLastError());
    err = ErrorFromLastError(static_cast<DWORD>(number));
    return nullptr;
  }
  auto port = std::make_unique<Win32SerialPort>(h);
  if (!port->ready()) {
    err = PortError::Other;
    return nullptr;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    number = static_cast<int>(GetLastError());
    err = PortError::Other;
    return nullptr;
  }
  dcb.BaudRate = CBR_115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  // A pty behind wine refuses modem settings; the byte format is what matters.
  SetCommState(h, &dcb);
  if (!port->SetTimeouts()) {
    number = static_cast<int>(GetLastError());
    err = PortError::Other;
    return nullptr;
  }
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  err = PortError::None;
  return port;
}

bool ProbePort(int n) { return SerialPort::Open(n) != nullptr; }

PortError ProbePortError(int n) {
  PortError error = PortError::None;
  return SerialPort::Open(n, &error) != nullptr ? PortError::None : error;
}

std::vector<int> SystemPortNumbers() {
  std::vector<int> ports;
  char target[1024];
  for (int n = 1; n <= 256; ++n) {
    const std::string name = "COM" + std::to_string(n);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) ports.push_back(n);
  }
  return ports;
}

}  // namespace platform
