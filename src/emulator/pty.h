#pragma once
// The pseudo-terminal pair the emulated remote sits on.

#include <string>

#include "platform/error.h"

namespace emulator {

class Pty {
 public:
  // Opens a pair, makes the slave raw and this process's controlling
  // terminal (the caller must already lead its own session) and keeps the
  // slave open, so the master sees no hang-up while no host has it open.
  platform::Result<> Open();
  ~Pty();

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  void Close();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Makes this process the leader of a new session, so that the pty can become
// its controlling terminal. When it already leads a process group (started
// from an interactive shell) it forks: the parent stays to relay signals and
// the exit status, the child goes on. False when that fails.
bool BecomeSessionLeader();

}  // namespace emulator
