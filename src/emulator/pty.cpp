#include "emulator/pty.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace emulator {
namespace {

volatile sig_atomic_t gChild = 0;

void Relay(int sig) {
  if (gChild > 0) kill(gChild, sig);
}

}  // namespace

bool BecomeSessionLeader() {
  if (setsid() >= 0) return true;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) return setsid() >= 0;
  gChild = child;
  struct sigaction sa {};
  sa.sa_handler = Relay;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1, SIGHUP}) sigaction(sig, &sa, nullptr);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

platform::Result<> Pty::Open() {
  auto fail = [&](const char* what) {
    platform::Error error = platform::LastSystemFailure("pseudo terminal", what);
    Close();
    return platform::Fail(std::move(error));
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt/unlockpt");
  const char* name = ptsname(master_);
  if (name == nullptr) return fail("ptsname");
  slavePath_ = name;
  // Opened without O_NOCTTY by a session leader: the slave becomes our
  // controlling terminal; TIOCSCTTY makes sure of it.
  slave_ = open(slavePath_.c_str(), O_RDWR | O_CLOEXEC);
  if (slave_ < 0) return fail("open slave");
  ioctl(slave_, TIOCSCTTY, 0);
  termios t{};
  if (tcgetattr(slave_, &t) != 0) return fail("tcgetattr");
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B115200);
  cfsetospeed(&t, B115200);
  if (tcsetattr(slave_, TCSANOW, &t) != 0) return fail("tcsetattr");
  const int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  return {};
}

void Pty::Close() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

Pty::~Pty() { Close(); }

}  // namespace emulator
