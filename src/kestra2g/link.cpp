#include "kestra2g/link.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "kestra2g/library_log.h"
#include "kestra2g/reported_counters.h"
#include "kestra2g/timing.h"

namespace kestra2g {
namespace {

// Sequence numbers go on from one call's link to the next. Each call opens
// the port afresh, and a slow device may answer a resend of the last call
// after that call has ended: the late answer then matches no request of the
// new call, where restarting at 1 would take it for the answer to the first.
std::atomic<std::uint8_t> gLastSequence{0};

}  // namespace

Link::Link(std::unique_ptr<platform::SerialPort> port, int portNumber)
    : port_(std::move(port)), seq_(gLastSequence.load()), portNumber_(portNumber) {}

Link::~Link() { gLastSequence.store(seq_); }

Result<std::unique_ptr<Link>> Link::Open(int port) {
  auto serial = platform::SerialPort::Open(port);
  if (!serial) return Fail(Cause::PortUnavailable, {}, std::move(serial.error()));
  return std::make_unique<Link>(std::move(*serial), port);
}

std::optional<std::uint8_t> Link::Send(wire::Request r, std::span<const std::uint8_t> payload) {
  if (lost_) return std::nullopt;
  const std::uint8_t seq = ++seq_;
  const auto frame = wire::EncodeFrame(static_cast<std::uint8_t>(r), seq, payload);
  sentAt_[seq] = Clock::now();
  if (!port_->Write(frame)) {
    lost_ = true;
    return std::nullopt;
  }
  return seq;
}

std::optional<wire::Frame> Link::Receive(Clock::time_point deadline) {
  std::array<std::uint8_t, 4096> buffer{};
  for (;;) {
    if (auto frame = decoder_.Next()) return frame;
    if (lost_) return std::nullopt;
    // Past the deadline, still take what has already arrived: answers may
    // wait unread while a write was blocked.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int n = port_->Read(buffer, static_cast<int>(std::max<decltype(left)>(left, 0)));
    if (n < 0) {
      lost_ = true;
      return std::nullopt;
    }
    if (n > 0) {
      decoder_.Feed(std::span(buffer).first(static_cast<std::size_t>(n)));
    } else if (left <= 0) {
      return std::nullopt;
    }
  }
}

std::optional<std::vector<std::uint8_t>> Link::Exchange(wire::Request r,
                                                        std::span<const std::uint8_t> payload,
                                                        Attempts attempts,
                                                        const std::function<void()>& behind) {
  const bool doubling = attempts.fixedWait.count() == 0;
  const std::chrono::microseconds first = ReplyWait(attempts, payload.size());
  std::chrono::microseconds patience{0};
  for (int i = 0, m = 1; i < attempts.count; ++i, m *= doubling ? 2 : 1) patience += first * m;
  const Clock::time_point giveUp = Clock::now() + patience;
  std::vector<std::uint8_t> answerable;  // sequence numbers whose answer will do
  auto wait = first;
  for (bool firstAttempt = true;; firstAttempt = false) {
    const auto seq = Send(r, payload);
    if (!seq) return std::nullopt;
    if (firstAttempt && behind) behind();
    answerable.push_back(*seq);
    const Clock::time_point deadline = std::min(giveUp, Clock::now() + Capped(wait));
    if (auto frame = AwaitAny(r, answerable, deadline)) {
      SampleAnswer(frame->seq);
      return std::move(frame->payload);
    }
    if (lost_ || Clock::now() >= giveUp) return std::nullopt;
    if (doubling) wait *= 2;
  }
}

void Link::SampleAnswer(std::uint8_t seq) {
  roundTrip_.Sample(std::chrono::duration_cast<RoundTrip::Duration>(Clock::now() - sentAt_[seq]));
}

std::chrono::microseconds Link::ReplyWait(const Attempts& attempts,
                                          std::size_t requestBytes) const {
  if (attempts.fixedWait.count() > 0) return attempts.fixedWait;
  return roundTrip_.Bound() + attempts.work +
         std::chrono::ceil<std::chrono::microseconds>(LineTime(requestBytes + wire::kOverhead));
}

std::chrono::microseconds Link::Capped(std::chrono::microseconds wait) const {
  if (rate_ == wire::kBaseRate) return wait;
  return std::min<std::chrono::microseconds>(wait, timing::kRaisedRateSilence);
}

void Link::Pause(Clock::time_point until) {
  while (Receive(until)) {
  }
}

Result<std::vector<std::uint8_t>> Link::ExchangeOk(wire::Request r,
                                                   std::span<const std::uint8_t> payload,
                                                   Attempts attempts, const char* what) {
  return Checked(Exchange(r, payload, attempts), what);
}

Result<std::vector<std::uint8_t>> Link::Checked(std::optional<std::vector<std::uint8_t>> reply,
                                                const char* what) const {
  if (!reply) return FailExchange(what);
  if (const wire::Status status = wire::ReplyStatus(*reply); status != wire::Status::Ok) {
    return FailRefused(what, status);
  }
  return std::move(*reply);
}

Result<> Link::Acknowledged(std::optional<std::vector<std::uint8_t>> reply,
                            const char* what) const {
  const auto checked = Checked(std::move(reply), what);
  if (!checked) return FailureOf(checked);
  if (!wire::DecodeStatusAnswer(*checked)) return Fail(Cause::BadReply, what);
  return {};
}

std::optional<std::vector<std::uint8_t>> Link::Await(wire::Request r, std::uint8_t seq,
                                                     Clock::time_point deadline) {
  auto frame = AwaitAny(r, std::span(&seq, 1), deadline);
  if (!frame) return std::nullopt;
  return std::move(frame->payload);
}

std::optional<wire::Frame> Link::AwaitAny(wire::Request r, std::span<const std::uint8_t> seqs,
                                          Clock::time_point deadline) {
  while (auto frame = Receive(deadline)) {
    if (frame->type == wire::ReplyType(r) && std::ranges::find(seqs, frame->seq) != seqs.end()) {
      return frame;
    }
  }
  return std::nullopt;
}

Result<wire::HelloInfo> Link::Hello(const std::function<void()>& behind) {
  const auto reply =
      Exchange(wire::Request::Hello, wire::EncodeHelloRequest({}), timing::kHello, behind);
  if (!reply) return FailExchange("hello");
  auto info = wire::DecodeHello(*reply);
  if (!info) return Fail(Cause::BadReply, "hello");
  if (info->ReportsRunningImage()) NoteReportedCounter(portNumber_, info->securityCounter);
  return std::move(*info);
}

bool Link::SetRate(std::uint32_t rate) {
  if (lost_ || !port_->SetRate(static_cast<int>(rate))) return false;
  rate_ = rate;
  decoder_.Clear();
  return true;
}

Unexpected Link::FailExchange(const char* what) const {
  if (lost_) {
    if (const auto& why = port_->LineFailure()) return Fail(Cause::LineDropped, what, *why);
    return Fail(Cause::LineDropped, what);
  }
  if (decoder_.badFrames() > 0 || decoder_.skippedBytes() > 0) {
    return Fail(Cause::DamagedFrames, std::string(what) + ", " +
                                          std::to_string(decoder_.badFrames()) + " bad frames, " +
                                          std::to_string(decoder_.skippedBytes()) + " stray bytes");
  }
  return Fail(Cause::TimedOut, what);
}

}  // namespace kestra2g
