// The port probe and the library's open on a pseudo terminal linked as COM7,
// held by another program in each of the ways a Linux program holds a port.
// The probe must only look; a held port is neither listed nor opened.
#include "platform/port_in_use.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/exe_path.h"
#include "platform/serial_port.h"
#include "support/file_text.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPort = 7;

enum class Holder { None, OtherProcess, ExclusiveFlag, Flock, LiveLock, LiveBinaryLock, StaleLock };

struct Case {
  const char* name;
  Holder holder;
  bool listed;
  const char* sign = "";  // how the refused open names the holder
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string LockText(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

using testing_support::FileText;

pid_t DeadPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

// Another process that keeps the terminal open, taking no lock, until the
// object goes away.
class OtherProcess {
 public:
  explicit OtherProcess(int master) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(master);  // holding the far end too would make it the line itself
      close(ready[0]);
      close(release[1]);
      char c = 1;
      if (write(ready[1], &c, 1) == 1) (void)!read(release[0], &c, 1);
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char c = 0;
    ready_ = pid_ > 0 && read(ready[0], &c, 1) == 1;
    close(ready[0]);
    release_ = release[1];
  }
  ~OtherProcess() {
    close(release_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ready_ = false;
};

// What a holder of the port would notice if we touched it.
struct LineState {
  termios t{};
  int pending = -1;
  int exclusive = -1;
  bool operator==(const LineState& o) const {
    return t.c_iflag == o.t.c_iflag && t.c_oflag == o.t.c_oflag && t.c_cflag == o.t.c_cflag &&
           t.c_lflag == o.t.c_lflag && cfgetispeed(&t) == cfgetispeed(&o.t) &&
           cfgetospeed(&t) == cfgetospeed(&o.t) &&
           std::memcmp(t.c_cc, o.t.c_cc, sizeof t.c_cc) == 0 && pending == o.pending &&
           exclusive == o.exclusive;
  }
};

LineState StateOf(int fd) {
  LineState s;
  tcgetattr(fd, &s.t);
  ioctl(fd, FIONREAD, &s.pending);
  ioctl(fd, TIOCGEXCL, &s.exclusive);
  return s;
}

class PortInUse : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    const fs::path devices = config_.Path() / platform::ExecutableBaseName() / "dosdevices";
    fs::create_directories(devices);
    fs::create_symlink(slavePath_, devices / ("com" + std::to_string(kPort)));
    fs::create_directory(config_.Path() / "lock");
    lockFile_ = config_.Path() / "lock" / ("LCK.." + fs::path(slavePath_).filename().string());
    platform::SetUucpLockFolders({(config_.Path() / "lock").string()});
    configHome_.emplace("XDG_CONFIG_HOME", config_.Path().string());

    // A holder's own settings (not the raw 115200 we would set) and input it
    // has not read yet.
    termios t{};
    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0);
    ASSERT_EQ(write(master_, "pending\n", 8), 8);
    pollfd arrived{slave_, POLLIN, 0};  // the pty passes it on asynchronously
    ASSERT_EQ(poll(&arrived, 1, 10000), 1);
  }
  void TearDown() override {
    configHome_.reset();
    platform::SetUucpLockFolders({});
    close(slave_);
    close(master_);
  }

  void WriteLock(const std::string& bytes) const {
    std::ofstream(lockFile_, std::ios::binary) << bytes;
  }

  testing_support::TempFolder config_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  fs::path lockFile_;
  std::optional<testing_support::ScopedVariable> configHome_;
};

TEST_P(PortInUse, HeldPortIsNotListedNorOpenedAndTheProbeChangesNothing) {
  const Case& c = GetParam();
  std::optional<OtherProcess> other;
  int second = -1;
  switch (c.holder) {
    case Holder::None:
      break;
    case Holder::OtherProcess:
      other.emplace(master_);
      ASSERT_TRUE(other->ready());
      break;
    case Holder::ExclusiveFlag:  // root may still open it: only the flag tells
      ASSERT_EQ(ioctl(slave_, TIOCEXCL), 0);
      break;
    case Holder::Flock:
      second = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
      ASSERT_EQ(flock(second, LOCK_EX | LOCK_NB), 0);
      break;
    case Holder::LiveLock:
      WriteLock(LockText(1));
      break;
    case Holder::LiveBinaryLock: {
      const int pid = 1;
      WriteLock(std::string(reinterpret_cast<const char*>(&pid), sizeof pid));
      break;
    }
    case Holder::StaleLock:
      WriteLock(LockText(DeadPid()));
      break;
  }
  const std::string lockBefore = FileText(lockFile_);
  const LineState before = StateOf(slave_);
  ASSERT_GT(before.pending, 0);

  EXPECT_EQ(platform::ProbePort(kPort), c.listed);
  EXPECT_TRUE(StateOf(slave_) == before) << "the probe changed the port's settings or input";
  EXPECT_EQ(FileText(lockFile_), lockBefore);

  {
    const auto port = platform::SerialPort::Open(kPort);
    EXPECT_EQ(port.has_value(), c.listed);
    if (port) {
      EXPECT_EQ(FileText(lockFile_), LockText(getpid())) << "our lock, replacing a stale one";
    } else {
      EXPECT_NE(port.error().Describe().find(c.sign), std::string::npos) << port.error().Describe();
      EXPECT_TRUE(StateOf(slave_) == before) << "a refused open changed the port";
      EXPECT_EQ(FileText(lockFile_), lockBefore);
    }
  }
  if (c.listed) {
    EXPECT_FALSE(fs::exists(lockFile_)) << "the lock outlived the port";
  }
  if (second >= 0) close(second);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, PortInUse,
    ::testing::Values(
        Case{"Free", Holder::None, true},
        Case{"OpenByAnotherProcess", Holder::OtherProcess, false, ", which has it open"},
        Case{"ExclusiveFlagOnly", Holder::ExclusiveFlag, false,
             ": held by another program through its exclusive flag (TIOCEXCL)"},
        Case{"Flock", Holder::Flock, false, ": held by another program through flock"},
        Case{"UucpLockOfLiveProcess", Holder::LiveLock, false, ": held by process 1 ("},
        Case{"BinaryUucpLockOfLiveProcess", Holder::LiveBinaryLock, false,
             ") through a UUCP lock file"},
        Case{"StaleUucpLock", Holder::StaleLock, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A terminal hung up under the open port (an adapter pulled out): the line
// is gone for good, and the system's reason stays for the failure report.
TEST_F(PortInUse, HungUpLineKeepsTheSystemsReason) {
  const auto opened = platform::SerialPort::Open(kPort);
  ASSERT_TRUE(opened);
  const auto& port = *opened;
  EXPECT_FALSE(port->LineFailure());
  if (ioctl(slave_, TIOCVHANGUP) != 0) GTEST_SKIP() << "hanging up a terminal needs root";
  const std::uint8_t byte = 0x55;
  EXPECT_FALSE(port->Write(std::span(&byte, 1)));
  ASSERT_TRUE(port->LineFailure());
  EXPECT_EQ(port->LineFailure()->code, EIO);
  EXPECT_EQ(port->LineFailure()->stage, "write");
  std::uint8_t buffer[4];
  EXPECT_EQ(port->Read(buffer, 10000), -1);  // at once, without touching the line again
}

}  // namespace
