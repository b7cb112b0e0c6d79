#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

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

std::optional<std::string> ReadInputLine() {
  // Polled rather than a blocking read: a signal that came before the read
  // began would not end it.
  constexpr int kPollMs = 100;
  std::string line;
  for (;;) {
    if (Interrupted()) return std::nullopt;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    char c;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return line.empty() ? std::nullopt : std::optional(line);
    if (c == '\n') {
      if (line.ends_with('\r')) line.pop_back();
      return line;
    }
    line += c;
  }
}

}  // namespace platform
