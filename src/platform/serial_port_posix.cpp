#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/config_home.h"
#include "platform/port_in_use.h"
#include "platform/serial_port.h"
#include "platform/termios_rate.h"

namespace platform {
namespace {

// The wine-style link <config>/dosdevices/comN, resolved; empty when absent.
std::string LinkedDevice(int n) {
  const std::string link = ComPortLinkPath(n);
  if (link.empty()) return {};
  struct stat st {};
  if (lstat(link.c_str(), &st) != 0) return {};
  if (char* resolved = realpath(link.c_str(), nullptr); resolved != nullptr) {
    std::string path(resolved);
    std::free(resolved);
    return path;
  }
  // A dangling link still names the port; opening it then reports NotFound.
  char target[PATH_MAX];
  const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
  if (len <= 0) return link;
  return std::string(target, static_cast<std::size_t>(len));
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(int fd, UucpLock lock) : fd_(fd), lock_(std::move(lock)) {}
  ~PosixSerialPort() override {
    // The other side (an emulator, a getty) may keep the device open; the
    // exclusive flag would outlive us and lock out the next caller.
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
  }
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override {
    constexpr int kStallMs = 3000;  // a line that takes nothing for this long is dead
    if (gone()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        return Gone(false, LastSystemFailure({}, "write"));
      }
      pollfd p{fd_, POLLOUT, 0};
      const int r = poll(&p, 1, kStallMs);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return Gone(false, LastSystemFailure({}, "write"));
      if (r == 0) return Gone(false, Refusal({}, "write", "the line took nothing for 3 s"));
      if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return Gone(false, Refusal({}, "write", "the other side hung up"));
      }
    }
    return true;
  }

  int Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
    if (gone()) return -1;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
      // VMIN 1 with O_NONBLOCK: an empty line answers EAGAIN, so 0 is the
      // end of the line (a hang-up, an adapter pulled out).
      const ssize_t n = read(fd_, buffer.data(), buffer.size());
      if (n > 0) return static_cast<int>(n);
      if (n == 0) return Gone(-1, Refusal({}, "read", "the other side hung up"));
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return Gone(-1, LastSystemFailure({}, "read"));
      const int wait = RemainingMs(deadline);
      if (wait <= 0) return 0;
      pollfd p{fd_, POLLIN, 0};
      const int r = poll(&p, 1, wait);
      if (r < 0 && errno != EINTR) return Gone(-1, LastSystemFailure({}, "read"));
      // A hung-up terminal also reports POLLIN; the read above then tells
      // what is left. Without POLLIN nothing more will ever come.
      if (r > 0 && (p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return Gone(-1, Refusal({}, "read", "the other side hung up"));
      }
    }
  }

  bool Allows(int baud) const override {
    return TermiosSpeed(static_cast<std::uint32_t>(baud)) != B0;
  }

  bool SetRate(int baud) override {
    const speed_t speed = TermiosSpeed(static_cast<std::uint32_t>(baud));
    termios t{};
    if (gone() || speed == B0 || tcgetattr(fd_, &t) != 0) return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd_, TCSADRAIN, &t) == 0;
  }

 private:
  int fd_;
  UucpLock lock_;
};

// How another program holds a device we opened: flock holds even against
// root, who ignores TIOCEXCL.
constexpr const char* kExclusiveFlag =
    "held by another program through its exclusive flag (TIOCEXCL)";
constexpr const char* kFlock = "held by another program through flock";

bool MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when empty, 0 only at a hang-up
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B115200);
  cfsetospeed(&t, B115200);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Opens the device unless another program holds it (see DeviceHeldElsewhere,
// TIOCEXCL, flock). The descriptor holds our flock; nothing else changed.
Result<int> OpenUnused(const std::string& what, const std::string& device,
                       std::chrono::milliseconds reuseFreeFor) {
  if (std::optional<std::string> held = DeviceHeldElsewhere(device, reuseFreeFor)) {
    return Fail(Refusal(what, {}, *held));
  }
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(LastSystemFailure(what, "open"));
  // Root may open a port another program made exclusive; it stays theirs.
  int exclusive = 0;
  std::optional<Error> refused;
  if (!isatty(fd)) {
    refused = Refusal(what, "open", "not a terminal");
  } else if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    refused = Refusal(what, {}, kExclusiveFlag);
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    refused = errno == EWOULDBLOCK ? Refusal(what, {}, kFlock) : LastSystemFailure(what, "flock");
  } else {
    return fd;
  }
  close(fd);
  return Fail(std::move(*refused));
}

}  // namespace

std::string ComPortLinkPath(int n) {
  const std::optional<std::string> config = AppConfigDirectory();
  return config ? *config + "/dosdevices/com" + std::to_string(n) : std::string();
}

std::string ComPortDevice(int n) {
  if (n < 1) return {};
  if (std::string linked = LinkedDevice(n); !linked.empty()) return linked;
  if (n <= 4) return "/dev/ttyS" + std::to_string(n - 1);
  if (n <= 10) return "/dev/ttyUSB" + std::to_string(n - 5);
  if (n <= 15) return "/dev/ttyACM" + std::to_string(n - 11);
  return {};
}

Result<std::unique_ptr<SerialPort>> SerialPort::Open(int n) {
  const std::string what = PortText(n);
  const std::string device = ComPortDevice(n);
  if (device.empty()) return Fail(Refusal(what, "open", "no device stands for this port"));
  // The library opens a port for every call, many a second while it polls.
  const Result<int> fd = OpenUnused(what, device, std::chrono::seconds(1));
  if (!fd) return Fail(fd.error());
  UucpLock lock;
  if (std::optional<std::string> held = lock.Take(device)) {
    close(*fd);
    return Fail(Refusal(what, {}, *held));
  }
  if (ioctl(*fd, TIOCEXCL) != 0 || !MakeRaw(*fd)) {
    Error error = LastSystemFailure(what, "set the line up");
    ioctl(*fd, TIOCNXCL);
    close(*fd);
    return Fail(std::move(error));
  }
  tcflush(*fd, TCIOFLUSH);
  return std::make_unique<PosixSerialPort>(*fd, std::move(lock));
}

bool ProbePort(int n) {
  // Only looks: the line settings, pending input and exclusive flag may
  // belong to another program.
  const std::string device = ComPortDevice(n);
  if (device.empty()) return false;
  const Result<int> fd = OpenUnused(device, device, std::chrono::milliseconds(0));
  if (!fd) return false;
  close(*fd);
  return true;
}

PortState ProbePortState(int n, std::string* held) {
  const std::string device = ComPortDevice(n);
  struct stat st {};
  if (device.empty() || stat(device.c_str(), &st) != 0) return PortState::kMissing;
  if (ProbePort(n)) return PortState::kFree;
  if (access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) return PortState::kDenied;
  if (std::optional<std::string> how = DeviceHeldElsewhere(device)) {
    if (held != nullptr) *held = *how;
    return PortState::kHeld;
  }
  return PortState::kOther;
}

std::vector<int> SystemPortNumbers() {
  std::vector<int> ports;
  for (int n = 1; n <= 15; ++n) {
    struct stat st {};
    if (stat(ComPortDevice(n).c_str(), &st) == 0) ports.push_back(n);
  }
  const std::string links = ComPortLinkPath(1);
  if (links.empty()) return ports;
  const std::string folder = links.substr(0, links.rfind('/'));
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (!name.starts_with("com") || name.size() > 6) continue;
      int n = 0;
      for (char c : name.substr(3)) n = (c >= '0' && c <= '9' && n >= 0) ? n * 10 + (c - '0') : -1;
      if (n > 15) ports.push_back(n);
    }
    closedir(dir);
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

}  // namespace platform
