#include "bench/line_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <random>
#include <vector>

#include "platform/termios_rate.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// Bytes taken off a sender at most per wake-up: about 1.4 ms of line.
constexpr long kBatch = 16;

// One direction of the line.
class Direction {
 public:
  Direction(int from, int to, nanoseconds byteTime, nanoseconds delay, double flip,
            std::uint64_t seed)
      : from_(from), to_(to), byteTime_(byteTime), delay_(delay), flip_(flip), rng_(seed) {}

  // Takes what the line has carried since the last call off the sender.
  void Pull(Clock::time_point now, std::atomic<long>& flips) {
    if (idle_) lineClock_ = now - byteTime_;  // a line at rest starts now
    const long room = std::min<long>((now - lineClock_) / byteTime_, 16384);
    if (room <= 0) return;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(room));
    const ssize_t got = read(from_, bytes.data(), bytes.size());
    idle_ = got < room;
    if (got <= 0) {
      // End of file, or a pty whose other side is gone.
      closed_ = got == 0 || (errno != EAGAIN && errno != EINTR);
      return;
    }
    bytes.resize(static_cast<std::size_t>(got));
    for (auto& b : bytes) {
      if (flip_ > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < flip_) {
        b ^= static_cast<std::uint8_t>(1U << std::uniform_int_distribution<int>(0, 7)(rng_));
        ++flips;
      }
    }
    lineClock_ += byteTime_ * got;
    queue_.push_back({lineClock_ + delay_, std::move(bytes)});
  }

  // Hands over what has arrived at the far end.
  void Push(Clock::time_point now) {
    while (!queue_.empty() && queue_.front().due <= now) {
      auto& chunk = queue_.front();
      const ssize_t w =
          write(to_, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent);
      if (w < 0 && errno != EAGAIN && errno != EINTR) {
        queue_.clear();  // the receiver is gone
        return;
      }
      if (w <= 0) return;  // the receiver is slow: later
      chunk.sent += static_cast<std::size_t>(w);
      if (chunk.sent < chunk.bytes.size()) return;
      queue_.pop_front();
    }
  }

  // When to look again, and whether to wait for the sender's bytes.
  Clock::time_point NextWake(Clock::time_point now, bool* wantRead, bool* wantWrite) const {
    Clock::time_point wake = now + std::chrono::milliseconds(50);
    *wantRead = false;
    *wantWrite = false;
    if (!queue_.empty()) {
      if (queue_.front().due <= now) {
        *wantWrite = true;
      } else {
        wake = std::min(wake, queue_.front().due);
      }
    }
    if (closed_) return wake;
    if (idle_) {
      *wantRead = true;
    } else {
      wake = std::min(wake, lineClock_ + byteTime_ * batch_);
    }
    return wake;
  }

  void SetByteTime(nanoseconds t) {
    byteTime_ = t;
    batch_ = std::max<long>(kBatch, kBatch * 86'806 / std::max<long long>(t.count(), 1));
  }

  int from() const { return from_; }
  int to() const { return to_; }

 private:
  struct Chunk {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
  };
  int from_, to_;
  nanoseconds byteTime_, delay_;
  long batch_ = kBatch;  // about 1.4 ms of line at any rate
  double flip_;
  std::mt19937_64 rng_;
  Clock::time_point lineClock_{};
  bool idle_ = true, closed_ = false;
  std::deque<Chunk> queue_;
};

void NonBlocking(int fd) {
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

LineRelay::LineRelay(Endpoint host, Endpoint device, LineModel model)
    : host_(host), device_(device), model_(model) {
  for (int fd : {host.in, host.out, device.in, device.out}) NonBlocking(fd);
  if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

LineRelay::~LineRelay() {
  stop_ = true;
  if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {
    // The thread still sees stop_ within its longest wait.
  }
  thread_.join();
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

void LineRelay::Run() {
  const nanoseconds byteTime(1'000'000'000LL / model_.bytesPerSecond);
  Direction up(host_.in, device_.out, byteTime, nanoseconds(0), model_.flipPerByte,
               model_.seed * 2 + 1);
  Direction down(device_.in, host_.out, byteTime, model_.turnaround, model_.flipPerByte,
                 model_.seed * 2 + 2);
  int rate = model_.bytesPerSecond;
  while (!stop_.load()) {
    termios t{};
    if (model_.followRateOf >= 0 && tcgetattr(model_.followRateOf, &t) == 0) {
      const speed_t speed = cfgetospeed(&t);
      if (const int now = static_cast<int>(platform::TermiosBaud(speed) / 10);
          now > 0 && now != rate) {
        rate = now;
        up.SetByteTime(nanoseconds(1'000'000'000LL / rate));
        down.SetByteTime(nanoseconds(1'000'000'000LL / rate));
        termios d{};
        if (model_.mirrorRateTo >= 0 && tcgetattr(model_.mirrorRateTo, &d) == 0) {
          cfsetispeed(&d, speed);
          cfsetospeed(&d, speed);
          tcsetattr(model_.mirrorRateTo, TCSANOW, &d);
        }
      }
    }
    const Clock::time_point now = Clock::now();
    for (Direction* d : {&up, &down}) {
      d->Push(now);
      d->Pull(now, flips_);
      d->Push(now);
    }
    // Wait for the next due byte, the next batch or a sender at rest to speak.
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
    Clock::time_point wake = now + std::chrono::milliseconds(50);
    for (Direction* d : {&up, &down}) {
      bool wantRead = false, wantWrite = false;
      wake = std::min(wake, d->NextWake(Clock::now(), &wantRead, &wantWrite));
      if (wantRead) fds.push_back({d->from(), POLLIN, 0});
      if (wantWrite) fds.push_back({d->to(), POLLOUT, 0});
    }
    const auto wait = std::chrono::duration_cast<nanoseconds>(wake - Clock::now());
    const timespec ts{static_cast<time_t>(std::max<long long>(wait.count(), 0) / 1'000'000'000),
                      static_cast<long>(std::max<long long>(wait.count(), 0) % 1'000'000'000)};
    ppoll(fds.data(), fds.size(), &ts, nullptr);
  }
}

}  // namespace bench
