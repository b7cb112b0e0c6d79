#include <windows.h>

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

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE h) : handle_(h) {}
  ~Win32SerialPort() override { CloseHandle(handle_); }
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
      if (!WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr)) return false;
      if (written == 0) return false;  // write time-out: the line is dead
      done += written;
    }
    return true;
  }

  int Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
    if (timeoutMs < 1) timeoutMs = 1;  // 0 would mean "wait forever" below
    if (timeoutMs != readTimeoutMs_ && !SetReadTimeout(timeoutMs)) return -1;
    DWORD got = 0;
    if (!ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return -1;
    }
    return static_cast<int>(got);
  }

  void DiscardInput() override { PurgeComm(handle_, PURGE_RXCLEAR); }

  bool SetReadTimeout(int timeoutMs) {
    // Return as soon as one byte is there, or after timeoutMs with nothing.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeoutMs);
    t.WriteTotalTimeoutMultiplier = 1;
    t.WriteTotalTimeoutConstant = 3000;
    if (!SetCommTimeouts(handle_, &t)) return false;
    readTimeoutMs_ = timeoutMs;
    return true;
  }

 private:
  HANDLE handle_;
  int readTimeoutMs_ = -1;
};

}  // namespace

std::string ComPortDevice(int n) {
  if (n < 1) return {};
  return "\\\\.\\COM" + std::to_string(n);
}

std::unique_ptr<SerialPort> SerialPort::Open(int n, PortError* error) {
  PortError ignored = PortError::None;
  PortError& err = error != nullptr ? *error : ignored;
  const std::string device = ComPortDevice(n);
  if (device.empty()) {
    err = PortError::NotFound;
    return nullptr;
  }
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = ErrorFromLastError(GetLastError());
    return nullptr;
  }
  auto port = std::make_unique<Win32SerialPort>(h);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
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
  if (!port->SetReadTimeout(100)) {
    err = PortError::Other;
    return nullptr;
  }
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  err = PortError::None;
  return port;
}

bool ProbePort(int n) { return SerialPort::Open(n) != nullptr; }

}  // namespace platform
