#pragma once
// A child process whose standard output comes back through a pipe; its
// standard input and error are ours.

#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform {

class ChildProcess {
 public:
  // Starts exe with args.
  static Result<std::unique_ptr<ChildProcess>> Start(const std::string& exe,
                                                     const std::vector<std::string>& args);
  virtual ~ChildProcess() = default;

  // Blocks until output arrives and appends it; false once the output ended.
  virtual bool Read(std::string& into) = 0;
  // Passes Ctrl+C on (SIGINT). Windows gives a console's Ctrl+C to every
  // process attached to it by itself, so there it does nothing.
  virtual void Interrupt() = 0;
  // Waits for the end; its exit code (128 + the signal when one ended it).
  virtual int Wait() = 0;
};

}  // namespace platform
