#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/serial_port.h"

namespace platform {
namespace {

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
        return Gone(false, LastSystemFailure({}, "write"));
      }
      if (written == 0) return Gone(false, Refusal({}, "write", "the line took nothing"));
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
      return Gone(-1, LastSystemFailure({}, "read"));
    }
    // A read that waits for its first byte without end completes empty only
    // when the device went away.
    if (got == 0 && !timedOut) return Gone(-1, Refusal({}, "read", "the device went away"));
    return static_cast<int>(got);
  }

  bool Allows(int baud) const override {
    COMMPROP p{};
    if (GetCommProperties(port_.get(), &p)) {
      // BAUD_USER: the driver takes any rate it is given.
      if ((p.dwSettableBaud & BAUD_USER) != 0 || p.dwMaxBaud == BAUD_USER) return true;
      if (baud == CBR_115200 && (p.dwSettableBaud & BAUD_115200) != 0) return true;
    }
    // Some drivers (and wine) name no rate above 115200 yet run them: ask
    // the driver itself while the line is idle, then put the rate back.
    DCB was{};
    was.DCBlength = sizeof was;
    if (gone() || !GetCommState(port_.get(), &was)) return false;
    const bool takes = TrySetRate(static_cast<DWORD>(baud));
    TrySetRate(was.BaudRate);
    return takes;
  }

  bool SetRate(int baud) override {
    if (gone()) return false;
    // What was written leaves at the old rate first.
    FlushFileBuffers(port_.get());
    return TrySetRate(static_cast<DWORD>(baud));
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
  // Under wine a pty refuses the modem settings and SetCommState fails after
  // the rate took: the rate read back decides.
  bool TrySetRate(DWORD baud) const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_.get(), &dcb)) return false;
    dcb.BaudRate = baud;
    SetCommState(port_.get(), &dcb);
    DCB now{};
    now.DCBlength = sizeof now;
    return GetCommState(port_.get(), &now) && now.BaudRate == baud;
  }

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

Result<std::unique_ptr<SerialPort>> SerialPort::Open(int n) {
  const std::string what = PortText(n);
  const std::string device = ComPortDevice(n);
  if (device.empty()) return Fail(Refusal(what, "open", "no device stands for this port"));
  // A port in use is refused with ERROR_ACCESS_DENIED: the system's text says so.
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(LastSystemFailure(what, "open"));
  auto port = std::make_unique<Win32SerialPort>(h);
  if (!port->ready())
    return Fail(Refusal(what, "open", "no events for overlapped input and output"));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) return Fail(LastSystemFailure(what, "GetCommState"));
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
  if (!port->SetTimeouts()) return Fail(LastSystemFailure(what, "SetCommTimeouts"));
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return std::unique_ptr<SerialPort>(std::move(port));
}

bool ProbePort(int n) { return SerialPort::Open(n).has_value(); }

// Windows names no holder; a port it lists but will not open is in use.
PortState ProbePortState(int n, std::string*) {
  return ProbePort(n) ? PortState::kFree : PortState::kHeld;
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
