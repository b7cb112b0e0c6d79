#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/console.h"

namespace platform {
namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);  // set from a signal handler

void OnSignal(int) { gInterrupted.store(true); }

}  // namespace

bool IsTerminal(Stream stream) {
  return isatty(stream == Stream::kIn    ? STDIN_FILENO
                : stream == Stream::kOut ? STDOUT_FILENO
                                         : STDERR_FILENO) == 1;
}

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return gInterrupted.load(); }

}  // namespace platform
