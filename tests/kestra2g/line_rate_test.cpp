// The rate switch over a scripted line: a remote that answers late, a line
// slow in either direction, a cable that carries only so much, and one
// frame or answer lost where it hurts. Whatever happens, the request is
// answered, and afterwards both ends run the same rate: the next request is
// heard. A call tries at most one rate that fails, and the next call on the
// same port never tries that one again. The link runs on the test's own clock (scripted_clock.h),
// which only this line moves.

#include "kestra2g/line_rate.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kestra2g/failure.h"
#include "kestra2g/timing.h"
#include "kestra2g/wire/frame.h"

namespace {

using namespace std::chrono_literals;
using kestra2g::Clock;
using std::chrono::milliseconds;
using wire::Request;
namespace timing = kestra2g::timing;

const std::vector<std::uint32_t> kRates = {115200, 230400, 460800, 921600};

// A frame on its way, as the script sees it.
struct Passing {
  bool toDevice;
  std::uint8_t type;   // the request's type, also for its answer
  std::uint32_t rate;  // the rate it goes at
  int nth;             // frames of this kind (direction, type, rate) before it
};

struct Line {
  milliseconds turnaround{0};   // the remote's answer time
  milliseconds up{1}, down{1};  // one way, host to device and back
  std::uint32_t cableLimit = 921600;
  std::function<bool(const Passing&)> lose = [](const Passing&) { return false; };
};

// The remote's side: its rate, its trial, its answers, each frame reaching
// the other end after the line's delay, garbled when the ends' rates
// differ or the cable cannot carry it.
class ScriptedRemote : public platform::SerialPort {
 public:
  explicit ScriptedRemote(Line line) : line_(std::move(line)) {}

  bool Write(std::span<const std::uint8_t> bytes) override {
    wire::FrameDecoder decoder;
    decoder.Feed(bytes);
    while (auto f = decoder.Next()) {
      if (f->type == static_cast<std::uint8_t>(Request::SetRate)) {
        if (const auto asked = wire::DecodeSetRate(f->payload)) asked_.push_back(asked->rate);
      }
      toDevice_.emplace(Clock::now() + line_.up, Frame{f->type, f->seq, f->payload, hostRate_});
    }
    return true;
  }

  int Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
    const Clock::time_point deadline = Clock::now() + milliseconds(timeoutMs);
    for (;;) {
      const Clock::time_point hostNext =
          toHost_.empty() ? Clock::time_point::max() : toHost_.begin()->first;
      const Clock::time_point deviceNext = NextDeviceEvent();
      if (deviceNext <= hostNext && deviceNext <= deadline) {
        DeviceEvent(deviceNext);
        continue;
      }
      if (hostNext > deadline) {
        MoveTo(deadline);
        return 0;
      }
      MoveTo(hostNext);
      const Frame f = toHost_.begin()->second;
      toHost_.erase(toHost_.begin());
      if (f.rate != hostRate_ || f.rate > line_.cableLimit) continue;  // garbage
      const auto bytes = wire::EncodeFrame(f.type, f.seq, f.payload);
      std::copy(bytes.begin(), bytes.end(), buffer.begin());
      return static_cast<int>(bytes.size());
    }
  }

  bool Allows(int) const override { return true; }
  bool SetRate(int baud) override {
    hostRate_ = static_cast<std::uint32_t>(baud);
    return true;
  }

  // The rates the host asked the remote to switch to.
  const std::vector<std::uint32_t>& asked() const { return asked_; }

  // The rate the remote runs now, once everything due has happened.
  std::uint32_t DeviceRate() {
    while (NextDeviceEvent() <= Clock::now()) DeviceEvent(NextDeviceEvent());
    return rate_;
  }

 private:
  struct Frame {
    std::uint8_t type, seq;
    std::vector<std::uint8_t> payload;
    std::uint32_t rate;
  };
  struct Answer {
    Frame frame;
    std::optional<std::uint32_t> switchTo;
    milliseconds trial{0};
  };

  static void MoveTo(Clock::time_point t) {
    if (t > Clock::now()) transfer_test::ScriptedClock::Advance(t - Clock::now());
  }

  Clock::time_point NextDeviceEvent() const {
    Clock::time_point t = trialUntil_.value_or(Clock::time_point::max());
    if (!toDevice_.empty()) t = std::min(t, toDevice_.begin()->first);
    if (!answers_.empty()) t = std::min(t, answers_.begin()->first);
    return t;
  }

  bool Lost(bool toDevice, const Frame& f) {
    const std::uint8_t type = f.type & static_cast<std::uint8_t>(~wire::kReplyBit);
    int& count = seen_[{toDevice, type, f.rate}];
    return line_.lose(Passing{toDevice, type, f.rate, count++});
  }

  void DeviceEvent(Clock::time_point t) {
    if (trialUntil_ && *trialUntil_ == t) {
      rate_ = before_;  // no valid frame in the trial
      trialUntil_.reset();
    } else if (!toDevice_.empty() && toDevice_.begin()->first == t) {
      const Frame f = toDevice_.begin()->second;
      toDevice_.erase(toDevice_.begin());
      if (f.rate == rate_ && f.rate <= line_.cableLimit && !Lost(true, f)) Hear(f, t);
    } else {
      Answer a = answers_.begin()->second;
      answers_.erase(answers_.begin());
      a.frame.rate = rate_;
      if (!Lost(false, a.frame)) toHost_.emplace(t + line_.down, a.frame);
      if (a.switchTo && *a.switchTo != rate_) {
        before_ = rate_;
        rate_ = *a.switchTo;
        if (rate_ != wire::kBaseRate) trialUntil_ = t + a.trial;
      }
    }
  }

  void Hear(const Frame& f, Clock::time_point t) {
    trialUntil_.reset();  // a valid frame proves the rate
    Answer a{{wire::ReplyType(static_cast<Request>(f.type)), f.seq, {0}, 0}, std::nullopt};
    if (f.type == static_cast<std::uint8_t>(Request::Hello)) {
      wire::HelloInfo h;
      h.maxData = 1024;
      h.window = 4;
      h.appBase = 0x4000;
      h.appSize = 0x10000;
      h.features = wire::kFeatureRates;
      h.rates = kRates;
      a.frame.payload = wire::EncodeHello(wire::Status::Ok, h);
    } else if (f.type == static_cast<std::uint8_t>(Request::SetRate)) {
      const auto asked = wire::DecodeSetRate(f.payload);
      if (asked && std::find(kRates.begin(), kRates.end(), asked->rate) != kRates.end()) {
        a.switchTo = asked->rate;
        a.trial = milliseconds(asked->trialMs);
      } else {
        a.frame.payload = {static_cast<std::uint8_t>(wire::Status::OutOfRange)};
      }
    }
    answers_.emplace(t + line_.turnaround, a);
  }

  Line line_;
  std::uint32_t hostRate_ = wire::kBaseRate;
  std::uint32_t rate_ = wire::kBaseRate, before_ = wire::kBaseRate;
  std::optional<Clock::time_point> trialUntil_;
  std::multimap<Clock::time_point, Frame> toDevice_, toHost_;
  std::multimap<Clock::time_point, Answer> answers_;
  std::map<std::tuple<bool, std::uint8_t, std::uint32_t>, int> seen_;
  std::vector<std::uint32_t> asked_;
};

std::function<bool(const Passing&)> LoseOnce(bool toDevice, Request type, std::uint32_t rate,
                                             int count = 1) {
  return [=](const Passing& p) {
    return p.toDevice == toDevice && p.type == static_cast<std::uint8_t>(type) && p.rate == rate &&
           p.nth < count;
  };
}

struct Case {
  const char* name;
  Line line;
  std::uint32_t reached;                // the rate the request is answered at
  std::uint32_t next;                   // the rate the next call on that port reaches
  bool failedTryCostsTheTrial = false;  // a rate was tried and failed: that costs the trial alone
};

TEST(LineRate, TheRequestIsAnsweredAndBothEndsEndAtTheSameRate) {
  const auto ms = [](int n) { return milliseconds(n); };
  const std::vector<Case> cases = {
      {"a quick remote: the switch asked ahead", {}, 921600, 921600},
      {"a remote answering 300 ms late", {ms(300)}, 921600, 921600},
      {"a remote answering 1000 ms late", {ms(1000)}, 921600, 921600},
      // Had the switch asked ahead been followed, the proof would have
      // arrived after its trial.
      {"late proof: 200 ms from host to device", {ms(0), ms(200), ms(1)}, 921600, 921600},
      {"one copy of the proof lost: the other proves the rate",
       {.lose = LoseOnce(true, Request::Manifest, 921600)},
       921600,
       921600},
      {"one copy of the proof lost, slow remote",
       {.turnaround = ms(400), .lose = LoseOnce(true, Request::Manifest, 921600)},
       921600,
       921600},
      {"both copies of the proof lost: the trial ends, the call stays at the base rate",
       {.lose = LoseOnce(true, Request::Manifest, 921600, 2)},
       115200,
       460800,
       true},
      {"a cable that carries 460800: the device's trial ends",
       {.cableLimit = 460800},
       115200,
       460800,
       true},
      {"a cable that carries 115200 only",
       {.turnaround = ms(50), .cableLimit = 115200},
       115200,
       115200,
       true},
      {"the answer to the switch asked ahead lost",
       {.lose = LoseOnce(false, Request::SetRate, 115200)},
       921600,
       921600},
      {"the answer to the switch lost, slow remote",
       {.turnaround = ms(300), .lose = LoseOnce(false, Request::SetRate, 115200, 2)},
       921600,
       921600},
      // Both answers to the proof lost: the device stays at the new rate
      // until asked back, and is.
      {"the proof's answers lost",
       {.lose = LoseOnce(false, Request::Manifest, 921600, 2)},
       115200,
       460800},
      {"the proof's answers lost, slow remote",
       {.turnaround = ms(300), .lose = LoseOnce(false, Request::Manifest, 921600, 2)},
       115200,
       460800},
  };
  const std::vector<std::uint8_t> manifest(144, 0x5A);
  int port = 100;  // each case a port of its own: what failed is kept by port
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++port;
    std::vector<std::uint32_t> failed;
    for (int call = 0; call < 2; ++call) {
      const std::uint32_t expected = call == 0 ? c.reached : c.next;
      SCOPED_TRACE(call == 0 ? "first call" : "next call");
      transfer_test::ScriptedClock::elapsed = 1h;
      auto owned = std::make_unique<ScriptedRemote>(c.line);
      ScriptedRemote& remote = *owned;
      kestra2g::Link link(std::move(owned), port);
      std::optional<kestra2g::SwitchAskedAhead> ahead;
      const auto hello = link.Hello([&] { ahead = kestra2g::AskSwitchAhead(link); });
      ASSERT_TRUE(hello.has_value()) << kestra2g::Describe(hello.error());

      const auto answer = kestra2g::ExchangeAtBestRate(link, *hello, ahead, Request::Manifest,
                                                       manifest, timing::kCommand);
      if (c.failedTryCostsTheTrial && call == 0) {
        // Two exchanges at the base rate, and the device's trial with its
        // margins: the failed proof waits no longer than the device does.
        const auto exchange = c.line.up + c.line.turnaround + c.line.down;
        EXPECT_LE(transfer_test::ScriptedClock::elapsed - 1h,
                  2 * exchange + timing::kRateTrial + 2 * timing::kRateTrialMargin + 2ms);
      }
      EXPECT_TRUE(answer.has_value()) << kestra2g::Describe(link.FailExchange("manifest").error());
      EXPECT_EQ(link.rate(), expected);
      // The remote runs what we run: the next request is heard.
      const std::uint8_t query[] = {0};
      EXPECT_TRUE(link.Exchange(Request::Query, query, timing::kQuery).has_value());
      EXPECT_EQ(remote.DeviceRate(), link.rate());
      kestra2g::ReturnToBaseRate(link, ahead);
      EXPECT_EQ(link.rate(), wire::kBaseRate);
      EXPECT_EQ(remote.DeviceRate(), wire::kBaseRate);

      std::vector<std::uint32_t> tried;
      for (const std::uint32_t r : remote.asked()) {
        if (r != wire::kBaseRate && std::find(tried.begin(), tried.end(), r) == tried.end()) {
          tried.push_back(r);
        }
      }
      for (const std::uint32_t r : tried) {
        EXPECT_EQ(std::count(failed.begin(), failed.end(), r), 0) << r << " tried again";
      }
      // At most one rate a call fails: the one asked that was not reached.
      EXPECT_LE(tried.size() - (std::count(tried.begin(), tried.end(), expected) > 0 ? 1 : 0), 1u);
      for (const std::uint32_t r : tried) {
        if (r != expected) failed.push_back(r);
      }
    }
  }
}

}  // namespace
