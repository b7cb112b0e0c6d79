#include "bench/line_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <random>
#include <span>
#include <vector>

#include "platform/termios_rate.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// Bytes handled at once: about 1.4 ms of line at 115200, and as long at any
// rate, so that the relay wakes up about as often whatever the rate.
constexpr long kBatch = 16;
// The largest piece a pty passes on from one write (the kernel's chunk).
constexpr long kPtyPiece = 2048;

// One direction of the line.
class Direction {
 public:
  Direction(Endpoint from, int to, nanoseconds byteTime, nanoseconds latency, int buffer,
            double flip, std::uint64_t seed)
      : from_(from),
        to_(to),
        latency_(latency),
        capacity_(from.ownBuffer > 0 ? std::max(0, buffer - from.ownBuffer) : buffer),
        flip_(flip),
        rng_(seed) {
    SetByteTime(byteTime);
  }
  ~Direction() {
    if (stopped_) tcflow(from_.stopWriter, TCOON);
  }
  Direction(const Direction&) = delete;
  Direction& operator=(const Direction&) = delete;

  // Takes what the sender's buffer may hold off the sender, and stops or
  // starts a writer that blocks only when told.
  void Pull(Clock::time_point now, std::atomic<long>& flips) {
    if (!closed_) {
      const long room = Room(now);
      if (room > 0) Take(now, room, flips);
    }
    if (from_.stopWriter >= 0) {
      const bool full = Held(now) > StopAbove();
      if (full != stopped_ && tcflow(from_.stopWriter, full ? TCOOFF : TCOON) == 0) {
        stopped_ = full;
      }
    }
  }

  // Hands over what has arrived at the far end.
  void Push(Clock::time_point now) {
    while (!arriving_.empty() && arriving_.front().due <= now) {
      auto& piece = arriving_.front();
      const ssize_t w =
          write(to_, piece.bytes.data() + piece.sent, piece.bytes.size() - piece.sent);
      if (w < 0 && errno != EAGAIN && errno != EINTR) {
        arriving_.clear();  // the receiver is gone
        return;
      }
      if (w <= 0) return;  // the receiver is slow: later
      piece.sent += static_cast<std::size_t>(w);
      if (piece.sent < piece.bytes.size()) return;
      arriving_.pop_front();
    }
  }

  // When to look again, and whether to wait for the sender's bytes or for
  // the receiver to take more.
  Clock::time_point NextWake(Clock::time_point now, bool* wantRead, bool* wantWrite) const {
    Clock::time_point wake = now + std::chrono::milliseconds(50);
    *wantRead = false;
    *wantWrite = false;
    if (!arriving_.empty()) {
      if (arriving_.front().due <= now) {
        *wantWrite = true;
      } else {
        wake = std::min(wake, arriving_.front().due);
      }
    }
    if (stopped_) wake = std::min(wake, WhenHeld(StopAbove()));
    if (closed_) return wake;
    if (Room(now) > 0) {
      *wantRead = true;
    } else {
      wake = std::min(wake, WhenHeld(capacity_ + batch_));
    }
    return wake;
  }

  void SetByteTime(nanoseconds t) {
    byteTime_ = t;
    batch_ = std::max<long>(kBatch, kBatch * 86'806 / std::max<long long>(t.count(), 1));
  }

  long Held(Clock::time_point now) const {
    if (lineClock_ <= now) return 0;
    return static_cast<long>((lineClock_ - now + byteTime_ - nanoseconds(1)) / byteTime_);
  }
  long largest() const { return largest_; }
  int from() const { return from_.in; }
  int to() const { return to_; }

 private:
  struct Piece {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
  };

  // What may be taken off the sender now. A source that holds part of the
  // buffer itself is read two batches ahead of the line, so the line never
  // waits for the relay to wake up; any other source is emptied, since
  // what it holds the model cannot see.
  long Room(Clock::time_point now) const {
    if (from_.ownBuffer == 0) return 1 << 16;
    return capacity_ + 2 * batch_ - Held(now);
  }
  // A writer is stopped while a piece of a write would no longer fit; with
  // a buffer smaller than a piece, while the line carries anything.
  long StopAbove() const { return std::max<long>(0, capacity_ - kPtyPiece); }
  // When the line will have carried all but `bytes` of what it holds (the
  // bytes it holds are back to back up to lineClock_).
  Clock::time_point WhenHeld(long bytes) const { return lineClock_ - byteTime_ * bytes; }

  void Take(Clock::time_point now, long room, std::atomic<long>& flips) {
    scratch_.resize(static_cast<std::size_t>(room));
    const ssize_t got = read(from_.in, scratch_.data(), scratch_.size());
    if (got <= 0) {
      // End of file, or a pty whose other side is gone.
      closed_ = got == 0 || (errno != EAGAIN && errno != EINTR);
      return;
    }
    const std::span<std::uint8_t> bytes(scratch_.data(), static_cast<std::size_t>(got));
    for (auto& b : bytes) {
      if (flip_ > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < flip_) {
        b ^= static_cast<std::uint8_t>(1U << std::uniform_int_distribution<int>(0, 7)(rng_));
        ++flips;
      }
    }
    // Back to back after what the line still carries; a line at rest
    // starts now. Each batch arrives the latency after its last byte left.
    Clock::time_point clock = std::max(lineClock_, now);
    for (std::size_t at = 0; at < bytes.size(); at += static_cast<std::size_t>(batch_)) {
      const std::size_t n = std::min(bytes.size() - at, static_cast<std::size_t>(batch_));
      clock += byteTime_ * static_cast<long>(n);
      const auto first = bytes.begin() + static_cast<long>(at);
      arriving_.push_back(
          {clock + latency_, std::vector<std::uint8_t>(first, first + static_cast<long>(n))});
    }
    lineClock_ = clock;
    largest_ = std::max(largest_, Held(now));
  }

  Endpoint from_;
  int to_;
  nanoseconds byteTime_{}, latency_;
  long capacity_;  // of the sender's buffer, the part the relay holds
  long batch_ = kBatch;
  double flip_;
  std::mt19937_64 rng_;
  Clock::time_point lineClock_{};  // when the line has carried what it took
  bool closed_ = false, stopped_ = false;
  long largest_ = 0;
  std::deque<Piece> arriving_;
  std::vector<std::uint8_t> scratch_;
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
  Direction up(host_, device_.out, byteTime, model_.latencyUp, model_.senderBuffer,
               model_.flipPerByte, model_.seed * 2 + 1);
  Direction down(device_, host_.out, byteTime, model_.latencyDown, model_.senderBuffer,
                 model_.flipPerByte, model_.seed * 2 + 2);
  int rate = model_.bytesPerSecond;
  while (!stop_.load()) {
    termios t{};
    if (model_.followRateOf >= 0 && tcgetattr(model_.followRateOf, &t) == 0) {
      const speed_t speed = cfgetospeed(&t);
      if (const int now = static_cast<int>(platform::TermiosBaud(speed) / 10);
          now > 0 && now != rate) {
        // What the line took already goes at the rate it was taken at.
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
    largestHost_ = up.largest();
    // Wait for the next due byte, room in a buffer or a sender to speak.
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
