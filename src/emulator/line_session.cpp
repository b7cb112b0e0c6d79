#include "emulator/line_session.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <map>
#include <random>

#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"
#include "platform/termios_rate.h"

namespace emulator {
namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Bytes read from the line at most per wake-up when pacing, to keep wake-ups
// few; about 1.4 ms of data at 115200 baud.
constexpr int kRxBatch = 16;

const char* RequestName(std::uint8_t type) {
  switch (static_cast<wire::Request>(type)) {
    case wire::Request::Hello:
      return "HELLO";
    case wire::Request::Query:
      return "QUERY";
    case wire::Request::Catch:
      return "CATCH";
    case wire::Request::Erase:
      return "ERASE";
    case wire::Request::Data:
      return "DATA";
    case wire::Request::DataDeflated:
      return "DATA-DEFLATED";
    case wire::Request::Verify:
      return "VERIFY";
    case wire::Request::Activate:
      return "ACTIVATE";
    case wire::Request::Restart:
      return "RESTART";
    case wire::Request::Manifest:
      return "MANIFEST";
    case wire::Request::SetRate:
      return "SET-RATE";
    case wire::Request::DataDelta:
      return "DATA-DELTA";
    case wire::Request::Revert:
      return "REVERT";
  }
  return "UNKNOWN";
}

bool WriteImage(const std::string& path, const std::vector<std::uint8_t>& image) {
  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  if (std::fclose(f) != 0 || !ok) return false;
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

class Session {
 public:
  Session(const Options& o, int master, std::FILE* log)
      : o_(o), master_(master), log_(log), device_(o.device), rng_(o.seed), start_(Clock::now()) {
    Pace();
  }

  SessionEnd Run(int signalFd);

 private:
  void Log(const char* what) {
    if (log_ == nullptr) return;
    const double t = std::chrono::duration<double>(Clock::now() - start_).count();
    std::fprintf(log_, "%.3f %s\n", t, what);
    std::fflush(log_);
  }
  // With the system's monotonic clock, which other processes can compare.
  void LogDisconnect(Clock::time_point now) {
    const auto ns = duration_cast<nanoseconds>(now.time_since_epoch()).count();
    Log(("DISCONNECT monotonic=" + std::to_string(ns / 1000) + "us").c_str());
  }
  bool Chance(double p) { return p > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  void PressReset(Clock::time_point now) {
    device_.PressReset(now);
    Log(("RESET state=" + PowerStateName(device_.state())).c_str());
    SwitchRate(wire::kBaseRate, now, nullptr);
  }
  // Paced at --baud at the base rate, at the rate itself above it.
  void Pace() {
    if (o_.baud <= 0) return;
    const long long baud = rate_ == wire::kBaseRate ? o_.baud : rate_;
    byteTime_ = nanoseconds(10'000'000'000LL / baud);
  }
  // Bytes per wake-up when paced: about 1.4 ms of line at any rate.
  std::size_t Batch() const {
    return std::max<std::size_t>(kRxBatch, kRxBatch * rate_ / wire::kBaseRate);
  }
  // What the host's end of the line runs at (its termios, seen on the master).
  std::uint32_t PortRate() const {
    termios t{};
    return tcgetattr(master_, &t) == 0 ? platform::TermiosBaud(cfgetospeed(&t)) : 0;
  }
  // A receiver at another rate than the sender, or a cable that cannot
  // carry this one, makes garbage of every byte.
  bool Garbled() const {
    return PortRate() != rate_ ||
           (o_.faults.rateLimit && static_cast<long long>(rate_) > *o_.faults.rateLimit);
  }
  void Garble(std::span<std::uint8_t> bytes) {
    for (auto& b : bytes) b = static_cast<std::uint8_t>(Below(256));
  }
  // `why` set: the device went back by itself. A raised rate asked for is
  // on trial for `trial`.
  void SwitchRate(std::uint32_t rate, Clock::time_point now, const char* why,
                  milliseconds trial = milliseconds(wire::kRateTrialMs));
  // Switches whose answer has left the line.
  void SwitchWhenSent(Clock::time_point now);
  void ReadLine(Clock::time_point now);
  void HandleFrames(Clock::time_point now);
  void CheckTriggers(Clock::time_point now);
  void MoveDueReplies(Clock::time_point now);
  bool WriteLine(Clock::time_point now);
  void AppendOutgoing(const std::vector<std::uint8_t>& bytes);

  const Options& o_;
  int master_;
  std::FILE* log_;
  Device device_;
  std::mt19937_64 rng_;
  Clock::time_point start_;
  nanoseconds byteTime_{0};
  wire::FrameDecoder decoder_;
  std::multimap<Clock::time_point, Outgoing> pending_;  // replies not yet due
  Clock::time_point lastDue_{};                         // of the latest reply queued
  std::deque<std::uint8_t> tx_;
  Clock::time_point txClock_{};
  Clock::time_point rxClock_{};
  bool rxIdle_ = true;
  std::optional<Clock::time_point> resetAt_;
  bool resetArmed_ = false;
  Clock::time_point stallUntil_{};
  Clock::time_point deafUntil_{};
  bool stallDone_ = false, powerLossDone_ = false, disconnect_ = false, lostOnce_ = false,
       lostAnswerOnce_ = false;
  std::uint32_t rate_ = wire::kBaseRate;
  std::uint32_t rateBefore_ = wire::kBaseRate;
  std::optional<Clock::time_point> trialUntil_;  // a new rate not yet proven
  Clock::time_point lastValid_{};                // the last valid frame heard
  // Rate switches due once the bytes before them have left: at this count
  // of bytes written.
  struct RateMark {
    std::uint64_t at;
    std::uint32_t rate;
    milliseconds trial;
  };
  std::deque<RateMark> rateMarks_;
  std::uint64_t txQueued_ = 0, txWritten_ = 0;
};

void Session::SwitchRate(std::uint32_t rate, Clock::time_point now, const char* why,
                         milliseconds trial) {
  // Asked again for the rate it runs: a trial still open stays open, and
  // only a valid frame ends it.
  if (rate == rate_) return;
  trialUntil_.reset();
  rateBefore_ = rate_;
  rate_ = rate;
  lastValid_ = now;
  if (why == nullptr && rate != wire::kBaseRate) trialUntil_ = now + trial;
  decoder_.Clear();
  Pace();
  Log(("RATE " + std::to_string(rate) + (why ? std::string(" (") + why + ")" : "")).c_str());
}

void Session::AppendOutgoing(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) {
    if (Chance(o_.faults.drop)) continue;
    if (Chance(o_.faults.flip)) b ^= static_cast<std::uint8_t>(1U << Below(8));
    tx_.push_back(b);
    ++txQueued_;
  }
}

void Session::MoveDueReplies(Clock::time_point now) {
  while (!pending_.empty() && pending_.begin()->first <= now) {
    const Outgoing out = std::move(pending_.begin()->second);
    pending_.erase(pending_.begin());
    // An idle line starts sending now, not in the past.
    if (tx_.empty() && txClock_ < now - byteTime_) txClock_ = now - byteTime_;
    const bool isAck = out.type == wire::ReplyType(wire::Request::Data);
    if (isAck && Chance(o_.faults.loseAck)) continue;
    if (Chance(o_.faults.garbage)) {
      std::vector<std::uint8_t> junk(static_cast<std::size_t>(1 + Below(48)));
      for (auto& b : junk) b = static_cast<std::uint8_t>(Below(256));
      if (Below(2) == 0) junk.front() = wire::kSync0;  // a false start now and then
      if (junk.size() > 1) junk[1] = wire::kSync1;
      AppendOutgoing(junk);
    }
    if (!out.lost) AppendOutgoing(out.bytes);
    if (isAck && Chance(o_.faults.dupAck)) AppendOutgoing(out.bytes);
    if (out.rateAfter) rateMarks_.push_back({txQueued_, *out.rateAfter, out.rateTrial});
  }
}

bool Session::WriteLine(Clock::time_point now) {
  // A switch whose answer the line lost entirely still happens.
  SwitchWhenSent(now);
  if (tx_.empty()) return true;
  std::size_t n = tx_.size();
  if (byteTime_.count() > 0) {
    n = std::min<std::size_t>(n, static_cast<std::size_t>((now - txClock_) / byteTime_));
    if (n == 0) return true;
  }
  std::uint8_t chunk[4096];
  n = std::min(n, sizeof chunk);
  // Up to the next rate switch only: the bytes after it go at the new rate.
  if (!rateMarks_.empty()) {
    n = std::min<std::size_t>(n, static_cast<std::size_t>(rateMarks_.front().at - txWritten_));
  }
  std::copy_n(tx_.begin(), n, chunk);
  if (Garbled()) Garble(std::span(chunk, n));
  const ssize_t w = n == 0 ? 0 : write(master_, chunk, n);
  if (w < 0) return errno == EAGAIN || errno == EINTR;
  tx_.erase(tx_.begin(), tx_.begin() + w);
  txClock_ += byteTime_ * w;
  txWritten_ += static_cast<std::uint64_t>(w);
  SwitchWhenSent(now);
  return true;
}

void Session::SwitchWhenSent(Clock::time_point now) {
  while (!rateMarks_.empty() && rateMarks_.front().at <= txWritten_) {
    const RateMark mark = rateMarks_.front();
    rateMarks_.pop_front();
    SwitchRate(mark.rate, now, nullptr, mark.trial);
  }
}

void Session::ReadLine(Clock::time_point now) {
  std::size_t want = 4096;
  const bool garbled = Garbled();
  if (byteTime_.count() > 0) {
    // After a pause of the sender the line restarts now; credit for the
    // silence would let a burst through faster than the line carries it.
    if (rxIdle_) rxClock_ = now - byteTime_;
    want = std::min<std::size_t>(want, static_cast<std::size_t>((now - rxClock_) / byteTime_));
    if (want == 0) return;
  }
  std::uint8_t buf[4096];
  const ssize_t got = read(master_, buf, want);
  rxIdle_ = got < static_cast<ssize_t>(want);
  if (got <= 0) return;
  rxClock_ += byteTime_ * got;
  if (now < deafUntil_) return;  // no power: the bytes fall on the floor
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(got));
  if (garbled) Garble(std::span(buf, static_cast<std::size_t>(got)));
  for (ssize_t i = 0; i < got; ++i) {
    std::uint8_t b = buf[i];
    if (Chance(o_.faults.drop)) continue;
    if (Chance(o_.faults.flip)) b ^= static_cast<std::uint8_t>(1U << Below(8));
    bytes.push_back(b);
  }
  decoder_.Feed(bytes);
  HandleFrames(now);
}

void Session::HandleFrames(Clock::time_point now) {
  std::vector<Outgoing> out;
  while (auto frame = decoder_.Next()) {
    if (o_.faults.loseOnce == frame->type && !lostOnce_) {
      lostOnce_ = true;
      Log((std::string("LOST ") + RequestName(frame->type)).c_str());
      continue;
    }
    Log(RequestName(frame->type));
    // A valid frame at a new rate proves it.
    lastValid_ = now;
    trialUntil_.reset();
    if (o_.faults.disconnectOn == frame->type) {
      LogDisconnect(now);
      disconnect_ = true;
      return;
    }
    out.clear();
    const bool refused = device_.Handle(*frame, now, out);
    if (refused && o_.resetAfterMs && !resetArmed_) {
      resetArmed_ = true;
      resetAt_ = now + milliseconds(*o_.resetAfterMs);
    }
    if (o_.faults.loseAnswerOnce == frame->type && !lostAnswerOnce_ && !out.empty()) {
      lostAnswerOnce_ = true;
      for (Outgoing& reply : out) reply.lost = true;
      Log((std::string("LOST-ANSWER ") + RequestName(frame->type)).c_str());
    }
    const auto turnaround = milliseconds(o_.turnaroundMs);
    for (Outgoing& reply : out) {
      // Answers leave in the order the requests came: a refusal given at
      // once waits behind an answer the flash holds back.
      const Clock::time_point due = std::max(std::max(reply.notBefore, now) + turnaround, lastDue_);
      lastDue_ = due;
      pending_.emplace(due, std::move(reply));
    }
    for (const std::string& note : device_.TakeNotes()) Log(note.c_str());
    if (auto image = device_.TakeActivatedImage(); image && !o_.imageOut.empty()) {
      if (!WriteImage(o_.imageOut, *image)) Log("IMAGE-OUT-FAILED");
    }
    CheckTriggers(now);
    if (disconnect_ || now < deafUntil_) return;
  }
}

void Session::CheckTriggers(Clock::time_point now) {
  const int pct = device_.DownloadPercent();
  if (pct < 0) return;
  const FaultPlan& f = o_.faults;
  if (f.disconnectAt && pct >= *f.disconnectAt) {
    LogDisconnect(now);
    disconnect_ = true;
  }
  if (f.stallAt && !stallDone_ && pct >= *f.stallAt) {
    stallDone_ = true;
    stallUntil_ = now + milliseconds(f.stallMs);
    Log("STALL");
  }
  if (f.powerLossAt && !powerLossDone_ && pct >= *f.powerLossAt) {
    powerLossDone_ = true;
    device_.PowerLoss(now);
    decoder_.Clear();
    pending_.clear();
    lastDue_ = {};
    tx_.clear();
    rateMarks_.clear();
    txQueued_ = txWritten_;
    SwitchRate(wire::kBaseRate, now, "power loss");
    deafUntil_ = now + milliseconds(300);
    Log(("POWER-LOSS state=" + PowerStateName(device_.state())).c_str());
  }
}

SessionEnd Session::Run(int signalFd) {
  auto finish = [&](SessionEnd end) {
    Log(("EXIT state=" + PowerStateName(device_.state()) +
         " image=" + (device_.imageValid() ? "valid" : "invalid"))
            .c_str());
    return end;
  };
  for (;;) {
    const Clock::time_point now = Clock::now();
    device_.Tick(now);
    if (resetAt_ && now >= *resetAt_) {
      resetAt_.reset();
      PressReset(now);
    }
    const Clock::time_point idleEnd = lastValid_ + milliseconds(wire::kRateIdleMs);
    if (trialUntil_ && now >= *trialUntil_) {
      SwitchRate(rateBefore_, now, "no valid frame in the trial");
    } else if (rate_ != wire::kBaseRate && now >= idleEnd) {
      SwitchRate(wire::kBaseRate, now, "no valid frame for a while");
    }
    const bool stalled = now < stallUntil_;
    if (!stalled) {
      MoveDueReplies(now);
      if (!WriteLine(now)) return finish(SessionEnd::Failed);
    }
    // When to wake up next.
    Clock::time_point wake = now + milliseconds(200);
    auto earlier = [&](Clock::time_point t) { wake = std::min(wake, std::max(t, now)); };
    if (stalled) earlier(stallUntil_);
    if (!pending_.empty()) earlier(pending_.begin()->first);
    if (auto d = device_.NextDeadline()) earlier(*d);
    if (resetAt_) earlier(*resetAt_);
    if (trialUntil_) earlier(*trialUntil_);
    if (rate_ != wire::kBaseRate) earlier(idleEnd);
    const auto batch = static_cast<long>(Batch());
    bool wantRead = !stalled;
    if (!stalled && byteTime_.count() > 0 && !rxIdle_ && rxClock_ + byteTime_ * batch > now) {
      // Reading again so soon would take a byte or two: let a batch arrive.
      wantRead = false;
      earlier(rxClock_ + byteTime_ * batch);
    }
    bool wantWrite = false;
    if (!stalled && !tx_.empty()) {
      if (byteTime_.count() > 0) {
        earlier(txClock_ +
                byteTime_ * static_cast<long>(std::min<std::size_t>(tx_.size(), Batch())));
      } else
        wantWrite = true;
    }
    pollfd fds[2] = {
        {signalFd, POLLIN, 0},
        {master_, static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0}};
    const auto wait = duration_cast<nanoseconds>(wake - now);
    const timespec ts{static_cast<time_t>(wait.count() / 1'000'000'000),
                      static_cast<long>(wait.count() % 1'000'000'000)};
    if (ppoll(fds, 2, &ts, nullptr) < 0 && errno != EINTR) return finish(SessionEnd::Failed);
    if ((fds[0].revents & POLLIN) != 0) {
      char sig = 0;
      while (read(signalFd, &sig, 1) == 1) {
        if (sig == 'R')
          PressReset(Clock::now());
        else
          return finish(SessionEnd::Stopped);
      }
    }
    if (wantRead && (fds[1].revents & POLLIN) != 0) ReadLine(Clock::now());
    if (disconnect_) return finish(SessionEnd::Disconnected);
  }
}

}  // namespace

SessionEnd RunLineSession(const Options& options, int master, int signalFd, std::FILE* log) {
  Session session(options, master, log);
  return session.Run(signalFd);
}

}  // namespace emulator
