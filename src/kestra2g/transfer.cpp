#include "kestra2g/transfer.h"

#include <algorithm>

#include "kestra2g/failure.h"
#include "kestra2g/timing.h"

namespace kestra2g {

using std::chrono::microseconds;
using wire::Status;

namespace {

// Frame overhead of a data block on the line: framing plus the offset.
constexpr std::size_t kDataOverhead = wire::kOverhead + wire::kDataHeaderSize;

// What one data frame of [begin, end) costs the line.
std::size_t WireBytes(std::size_t begin, std::size_t end) { return end - begin + kDataOverhead; }

// What an answer to a data frame says: the next offset the device expects
// and, of a compressed image or a delta section, the image bytes written.
struct Taken {
  std::uint32_t next;
  std::optional<std::uint32_t> written;
};

std::optional<Taken> ReadAnswer(wire::Request request, wire::PayloadView payload) {
  // A compressed image and a delta section are streams the device turns
  // into image bytes: their answers say how many it has written.
  if (request == wire::Request::DataDeflated || request == wire::Request::DataDelta) {
    const auto a = wire::DecodeDeflatedAnswer(payload);
    if (!a) return std::nullopt;
    return Taken{a->next, a->written};
  }
  const auto a = wire::DecodeDataAnswer(payload);
  if (!a) return std::nullopt;
  return Taken{a->next, std::nullopt};
}

}  // namespace

Transfer::Transfer(Link& link, wire::Request request, std::span<const std::uint8_t> data,
                   std::uint32_t firstOffset, TransferLimits limits, Report report)
    : link_(link),
      request_(request),
      data_(data),
      first_(firstOffset),
      limits_(limits),
      report_(std::move(report)),
      sizer_(limits.maxBlock, timing::kMinDataBlock, kDataOverhead) {
  // More in flight than the line needs to stay busy only delays resends.
  limits_.windowBytes = std::max(limits_.windowBytes, limits_.maxBlock);
  // Unanswered bytes: enough to keep the line busy through a round trip;
  // more would only queue resends behind them.
  // The line time that stands for grows with the rate.
  const std::size_t lineBytes = static_cast<std::size_t>(
      static_cast<std::uint64_t>(timing::kInFlightBytes) * link_.rate() / wire::kBaseRate);
  inFlightLimit_ = std::min(limits_.windowBytes, std::max(lineBytes, 2 * limits_.maxBlock));
  if (!data_.empty()) todo_.emplace(0, data_.size());
}

std::size_t Transfer::InFlightLimit() const {
  // The line's bytes for one round trip and its spread, the frame whose
  // answer is awaited and the one going out meanwhile. Deeper, a resend
  // waits behind all of it while the device's buffer beyond the gap fills
  // and the sending stalls. Until the data's own answers have measured it,
  // the round trip is the link's (a slow device's shows there already).
  const auto roundTrip = rtt_ ? *rtt_ + 4 * rttSpread_
                              : std::chrono::duration_cast<microseconds>(link_.roundTrip().Bound());
  const auto lineBytes =
      static_cast<std::size_t>(roundTrip.count() * (link_.rate() / 10) / 1'000'000);
  const std::size_t limit =
      std::clamp(lineBytes + 2 * limits_.maxBlock, 2 * limits_.maxBlock, limits_.windowBytes);
  return rtt_ ? limit : std::max(limit, inFlightLimit_);
}

void Transfer::OpenedBy(wire::Request request, std::uint8_t seq, const char* what,
                        std::chrono::microseconds patience, std::function<void()> confirmed) {
  opening_ = Opening{request, seq, what, Clock::now() + patience, std::move(confirmed)};
}

void Transfer::ConfirmOpening() {
  if (!opening_) return;
  auto confirmed = std::move(opening_->confirmed);
  opening_.reset();
  // The data went out behind it and waited there: its timers start now.
  const Clock::time_point now = Clock::now();
  lastAnswer_ = now;
  for (InFlight& f : inFlight_) {
    f.lineEnd = std::max(f.lineEnd, now);
    f.behindOpening = true;
  }
  if (confirmed) confirmed();
}

Result<> Transfer::OpeningAnswer(const wire::Frame& frame) {
  if (const auto status = wire::ReplyStatus(frame.payload); status != Status::Ok) {
    return FailRefused(opening_->what, status);
  }
  if (!wire::DecodeStatusAnswer(frame.payload)) return Fail(Cause::BadReply, opening_->what);
  ConfirmOpening();
  return {};
}

void Transfer::ClosedBy(wire::Request request, std::vector<std::uint8_t> payload, bool proves) {
  closing_.push_back({request, std::move(payload), proves});
}

std::optional<std::size_t> Transfer::TakeClosingAnswer(const wire::Frame& frame) {
  // The newest round first: a sequence number comes round again only after 256 sends.
  for (std::size_t r = rounds_.size(); r-- > 0;) {
    Round& round = rounds_[r];
    for (std::size_t i = 0; i < closing_.size(); ++i) {
      if (frame.type != wire::ReplyType(closing_[i].request) || frame.seq != round.seqs[i]) {
        continue;
      }
      if (!round.answers[i]) round.answers[i] = frame.payload;
      if (closing_[i].proves && wire::ReplyStatus(frame.payload) == Status::Ok) provedBy_ = r;
      return r;
    }
  }
  return std::nullopt;
}

std::vector<std::optional<std::vector<std::uint8_t>>> Transfer::ClosingAnswers(
    const Attempts& attempts) {
  if (provedBy_) return rounds_[*provedBy_].answers;
  std::size_t bytes = 0;
  for (const Closing& c : closing_) bytes += c.payload.size() + wire::kOverhead;
  microseconds wait = link_.ReplyWait(attempts, bytes);
  const microseconds follow = link_.Capped(link_.ReplyWait(timing::kCommand, 0));
  if ((!roundCurrent_ || rounds_.empty()) && !SendClosing()) {
    return std::vector<std::optional<std::vector<std::uint8_t>>>(closing_.size());
  }
  std::optional<std::size_t> answered;  // the first round an answer came in
  Clock::time_point deadline = Clock::now() + link_.Capped(wait);
  for (int attempt = 1;;) {
    if (auto frame = link_.Receive(deadline)) {
      const auto round = TakeClosingAnswer(*frame);
      if (!round) continue;
      if (provedBy_) return rounds_[*provedBy_].answers;
      if (rounds_[*round].answers.back()) return rounds_[*round].answers;
      if (!answered) {
        answered = round;
        deadline = Clock::now() + follow;
      }
      continue;
    }
    if (answered) return rounds_[*answered].answers;
    if (link_.lost() || attempt == attempts.count || !SendClosing()) return rounds_.back().answers;
    ++attempt;
    wait *= 2;
    deadline = Clock::now() + link_.Capped(wait);
  }
}

microseconds Transfer::Base() const {
  // Before its own measurement, not below the round trip the link measured.
  if (!rtt_) return std::max<microseconds>(timing::kAckSlack, link_.roundTrip().Bound());
  // A line that answered evenly for a while has no spread left: a margin
  // stays, for the scheduling of both ends.
  return std::max<microseconds>(
      *rtt_ + std::max<microseconds>(4 * rttSpread_, timing::kRoundTripMargin),
      timing::kMinAckSlack);
}

microseconds Transfer::Allowance() const {
  const microseconds base = Base();
  const int doublings = std::min(timeoutsInARow_, 5);
  const microseconds most = std::max<microseconds>(timing::kMaxAckWait, 2 * base);
  return link_.Capped(std::min<microseconds>(base * (1 << doublings), most));
}

void Transfer::SampleRoundTrip(const InFlight& f) {
  const auto sample = std::chrono::duration_cast<microseconds>(lastAnswer_ - f.lineEnd);
  const microseconds s = std::max(sample, microseconds(0));
  if (!rtt_) {
    rtt_ = s;
    rttSpread_ = s / 2;
  } else {
    rttSpread_ = (3 * rttSpread_ + (s > *rtt_ ? s - *rtt_ : *rtt_ - s)) / 4;
    rtt_ = (7 * *rtt_ + s) / 8;
  }
}

void Transfer::PopFront() {
  inFlightBytes_ -= inFlight_.front().end - inFlight_.front().begin;
  inFlight_.pop_front();
}

void Transfer::LoseFront() {
  const InFlight& f = inFlight_.front();
  sizer_.Lost(WireBytes(f.begin, f.end));
  Requeue(f);
  PopFront();
}

Clock::time_point Transfer::Due(const InFlight& f) const { return f.lineEnd + Allowance(); }

void Transfer::Requeue(const InFlight& f) {
  const std::size_t begin = std::max(f.begin, acked_);
  if (begin >= f.end) return;
  // Merge with neighbours so blocks can be cut afresh at the current size.
  std::size_t b = begin, e = f.end;
  auto it = todo_.lower_bound(b);
  if (it != todo_.begin()) {
    auto prev = std::prev(it);
    if (prev->second >= b) {
      b = prev->first;
      e = std::max(e, prev->second);
      it = todo_.erase(prev);
    }
  }
  while (it != todo_.end() && it->first <= e) {
    e = std::max(e, it->second);
    it = todo_.erase(it);
  }
  todo_.emplace(b, e);
}

void Transfer::Forget(std::size_t begin, std::size_t end) {
  // The device has [begin, end): take it out of what is still to send.
  auto it = todo_.lower_bound(begin);
  if (it != todo_.begin() && std::prev(it)->second > begin) --it;
  while (it != todo_.end() && it->first < end) {
    const auto [b, e] = *it;
    it = todo_.erase(it);
    if (b < begin) todo_.emplace(b, begin);
    if (e > end) it = todo_.emplace(end, e).first;
  }
}

Result<> Transfer::SendMore() {
  while (!todo_.empty() && inFlight_.size() < timing::kMaxFramesInFlight) {
    const auto [begin, end] = *todo_.begin();
    std::size_t n = std::min(sizer_.Block(), end - begin);
    if (inFlightBytes_ > 0 && inFlightBytes_ + n > InFlightLimit()) break;
    // The device keeps only so much beyond the first byte it still lacks.
    if (begin + n > acked_ + limits_.windowBytes) {
      if (begin >= acked_ + limits_.windowBytes) break;
      n = acked_ + limits_.windowBytes - begin;
    }
    const auto payload =
        wire::EncodeData({first_ + static_cast<std::uint32_t>(begin), data_.subspan(begin, n)});
    const auto seq = link_.Send(request_, payload);
    if (!seq) return link_.FailExchange("data transfer");
    // The closing sent before this frame does not cover it: it goes again
    // once everything is out.
    roundCurrent_ = false;
    todo_.erase(todo_.begin());
    if (begin + n < end) todo_.emplace(begin + n, end);
    const Clock::time_point now = Clock::now();
    lineFree_ = std::max(lineFree_, now) + std::chrono::duration_cast<Clock::duration>(
                                               link_.LineTime(payload.size() + wire::kOverhead));
    inFlight_.push_back({*seq, begin, begin + n, lineFree_});
    inFlightBytes_ += n;
    bySeq_[*seq] = {begin, begin + n};
    sentBytes_ += n;
  }
  if (!closing_.empty() && !roundCurrent_ && todo_.empty()) {
    if (!SendClosing()) return link_.FailExchange("data transfer");
    for (InFlight& f : inFlight_) f.beforeClosing = true;
  }
  return {};
}

bool Transfer::SendClosing() {
  Round round;
  for (const Closing& c : closing_) {
    const auto seq = link_.Send(c.request, c.payload);
    if (!seq) return false;
    round.seqs.push_back(*seq);
  }
  round.answers.resize(closing_.size());
  // A slow device answers an early round long after later ones went.
  constexpr std::size_t kRoundsKept = 32;
  if (rounds_.size() == kRoundsKept) {
    rounds_.pop_front();
    if (provedBy_) --*provedBy_;
  }
  rounds_.push_back(std::move(round));
  roundCurrent_ = true;
  return true;
}

Result<> Transfer::Answer(const wire::Frame& frame) {
  const auto status = wire::ReplyStatus(frame.payload);
  if (opening_ && status == Status::NotErased) {
    // The device did not hear the erase (or its refusal went astray).
    return Fail(Cause::OpeningUnheard, opening_->what);
  }
  if (status != Status::Ok && status != Status::Gap) {
    // After a closing went, "not erased" or "wrong state" may be the device
    // that took its ACTIVATE, whose answer was lost: the closing's answers,
    // asked again, tell. Otherwise there is nothing to retry.
    if (!rounds_.empty() && (status == Status::NotErased || status == Status::WrongState)) {
      overAtDevice_ = true;
      return {};
    }
    return FailRefused("data transfer", status);
  }
  ConfirmOpening();
  const auto taken = ReadAnswer(request_, frame.payload);
  if (!taken || taken->next < first_) return {};  // malformed: pass over
  const std::uint32_t offset = taken->next;
  lastAnswer_ = Clock::now();
  timeoutsInARow_ = 0;

  // Answers come in the order the frames went out: whatever was sent before
  // this frame and is still unanswered did not arrive whole.
  const std::size_t pos = std::min<std::size_t>(offset - first_, data_.size());
  const auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                               [&](const InFlight& f) { return f.seq == frame.seq; });
  if (it != inFlight_.end()) {
    while (inFlight_.front().seq != frame.seq) {
      const InFlight& f = inFlight_.front();
      if (f.end <= pos) {
        sizer_.Delivered(WireBytes(f.begin, f.end));  // only its answer was lost
        PopFront();
      } else {
        LoseFront();
      }
    }
    const InFlight& f = inFlight_.front();
    sizer_.Delivered(WireBytes(f.begin, f.end));
    if (!f.behindOpening) SampleRoundTrip(f);
    PopFront();
  } else {
    // A late answer to an earlier send: that range arrived all the same.
    const Sent& sent = bySeq_[frame.seq];
    if (sent.end > sent.begin) Forget(sent.begin, sent.end);
  }

  if (pos > acked_) {
    acked_ = pos;
    Forget(0, acked_);
  }
  report_(acked_, taken->written);
  return {};
}

Result<> Transfer::Run() {
  lastAnswer_ = Clock::now();
  // A device that keeps answering without taking the data must not keep us here.
  const std::size_t sendBudget = 8 * data_.size() + 64 * limits_.maxBlock;
  while (acked_ < data_.size()) {
    if (todo_.empty() && inFlight_.empty()) {
      // Everything was answered yet the device still lacks something.
      todo_.emplace(acked_, std::min(data_.size(), acked_ + limits_.windowBytes));
    }
    if (auto sent = SendMore(); !sent) return sent;
    if (sentBytes_ > sendBudget) {
      return Fail(Cause::BadReply, "data transfer: answered, but the data not taken");
    }
    // Data sent behind the opening is answered only after it.
    const Clock::time_point deadline = opening_            ? opening_->due
                                       : inFlight_.empty() ? Clock::now() + timing::kMaxAckWait
                                                           : Due(inFlight_.front());
    if (auto frame = link_.Receive(deadline)) {
      if (opening_ && frame->type == wire::ReplyType(opening_->request) &&
          frame->seq == opening_->seq) {
        if (auto opened = OpeningAnswer(*frame); !opened) return opened;
        continue;
      }
      if (const auto round = TakeClosingAnswer(*frame)) {
        // The device checked the whole stream and went on.
        if (provedBy_) {
          ConfirmOpening();
          return {};
        }
        // Answers come in order: a frame sent before the closing and still
        // unanswered went astray, no need to wait for its timer.
        if (roundCurrent_ && *round + 1 == rounds_.size()) {
          while (!inFlight_.empty() && inFlight_.front().beforeClosing) LoseFront();
        }
        continue;
      }
      if (frame->type != wire::ReplyType(request_)) continue;
      if (auto answered = Answer(*frame); !answered) return answered;
      if (overAtDevice_) return {};
      continue;
    }
    if (link_.lost()) return link_.FailExchange(opening_ ? opening_->what : "data transfer");
    if (opening_) return Fail(Cause::OpeningUnheard, opening_->what);
    // No answer in time: what is overdue went astray (or its answer did).
    const Clock::time_point now = Clock::now();
    while (!inFlight_.empty() && Due(inFlight_.front()) <= now) LoseFront();
    // Each time-out in a row waits twice as long as the one before.
    ++timeoutsInARow_;
    const microseconds silence = std::max<microseconds>(timing::kDataSilence, 2 * Base());
    if (timeoutsInARow_ > timing::kDataTimeouts && now - lastAnswer_ >= silence) {
      return link_.FailExchange("data transfer");
    }
  }
  return {};
}

}  // namespace kestra2g
