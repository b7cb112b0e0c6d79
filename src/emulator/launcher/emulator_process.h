#pragma once
// Starts remote-emulator as a child process and stops it again: for the
// benchmark and the integration tests, which talk to it through the real
// device library.

#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"

namespace emulator {

class EmulatorProcess {
 public:
  // Starts `exe` with `args` and waits (at most 5 s) for its READY line.
  static platform::Result<std::unique_ptr<EmulatorProcess>> Start(
      const std::string& exe, const std::vector<std::string>& args);
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  const std::string& slavePath() const { return slave_; }
  int pid() const { return pid_; }
  void Signal(int sig) const;
  // Has it ended by itself?
  bool Exited();
  // SIGTERM, then waits; the exit status (-1 when it had to be killed).
  int Stop();

 private:
  EmulatorProcess(int pid, std::string slave) : pid_(pid), slave_(std::move(slave)) {}
  int pid_;
  std::string slave_;
  bool reaped_ = false;
  int status_ = -1;
};

// The link that makes the emulator reachable as COMn for this program:
// <AppConfigDirectory()>/dosdevices/comN. When XDG_CONFIG_HOME is not set to
// a private folder yet, points it at a fresh temporary one first, removed
// when the process exits.
std::string ComLinkPath(int n);

}  // namespace emulator
