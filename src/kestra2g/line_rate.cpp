#include "kestra2g/line_rate.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kestra2g/by_port.h"
#include "kestra2g/library_log.h"
#include "kestra2g/timing.h"

namespace kestra2g {
namespace {

using std::chrono::milliseconds;
using wire::Request;

void Note(const std::string& text) { LibraryLog().Write(text); }

std::string RateText(std::uint32_t rate) { return std::to_string(rate) + " baud"; }

// The lowest rate whose proof brought no answer, by port: a cable or adapter
// that did not carry a rate will not carry it in the next call either, and
// each failed try costs the device's trial.
ByPort<std::uint32_t>& Failures() {
  static ByPort<std::uint32_t> failures;
  return failures;
}

// A rate worth trying on this port: below every one that failed there.
bool MayTry(const Link& link, std::uint32_t rate) {
  const auto failed = Failures().Get(link.portNumber());
  return link.Allows(rate) && (!failed || rate < *failed);
}

// When a device that switched at `switched` and heard no valid frame at the
// new rate is back at the old one, with the margin for our own reaction.
Clock::time_point TrialOver(Clock::time_point switched, milliseconds trial) {
  return switched + trial + timing::kRateTrialMargin;
}

// How long the device is to wait at the new rate for our proof: its copies
// must land, and be answered, within it.
milliseconds TrialFor(const Link& link, std::size_t proofBytes) {
  const auto wait =
      link.ReplyWait(timing::kProveRate, timing::kProofCopies * (proofBytes + wire::kOverhead));
  const auto trial = std::chrono::ceil<milliseconds>(wait + timing::kRateTrialMargin);
  return std::clamp(trial, timing::kRateTrial, milliseconds(wire::kRateIdleMs));
}

// The proof goes as copies back to back: one garbled by the new rate is made
// up at once, not after a time-out (which the trial would have to cover),
// and an answer to any will do. It is awaited until the device's trial is
// over, which a failed proof waits out all the same, so a device that takes
// its time over the request is still heard.
std::optional<std::vector<std::uint8_t>> Prove(Link& link, Request request,
                                               std::span<const std::uint8_t> payload,
                                               Clock::time_point switched, milliseconds trial) {
  std::array<std::uint8_t, timing::kProofCopies> seqs{};
  for (std::uint8_t& seq : seqs) {
    const auto sent = link.Send(request, payload);
    if (!sent) return std::nullopt;
    seq = *sent;
  }
  auto answer = link.AwaitAny(request, seqs, TrialOver(switched, trial));
  if (!answer) return std::nullopt;
  link.SampleAnswer(answer->seq);
  return std::move(answer->payload);
}

// The answer to the switch asked ahead, which follows HELLO's: a second
// sample of the round trip, so that the proof's waits follow it closely.
std::optional<std::vector<std::uint8_t>> AnswerAhead(Link& link, const SwitchAskedAhead& ahead) {
  auto answer = link.Await(Request::SetRate, ahead.seq, Clock::now() + link.roundTrip().Bound());
  if (answer) link.SampleAnswer(ahead.seq);
  return answer;
}

// The proof of a switch asked ahead can arrive within its trial: the
// device's answer took at most the round trip to come, our request takes no
// longer to go.
bool AheadCanBeFollowed(const Link& link) {
  return link.roundTrip().smoothed() + timing::kRateTrialMargin <= timing::kRateTrial;
}

// Until the device that switched at `switched` is back at the old rate;
// what arrives meanwhile is passed over.
void WaitOutTrial(Link& link, Clock::time_point switched, milliseconds trial) {
  link.Pause(TrialOver(switched, trial));
}

// The proof brought no answer at `rate`. Should the device have heard it and
// only its answer been lost, it would stay there: it is asked back (harmless
// when it did not hear). Our end goes back once the device's trial is over;
// a device slower than that is heard by the next request's resends.
void GiveUpRate(Link& link, Clock::time_point switched, milliseconds trial) {
  link.Send(Request::SetRate, wire::EncodeSetRate(wire::kBaseRate, 0));
  link.SetRate(wire::kBaseRate);
  WaitOutTrial(link, switched, trial);
}

}  // namespace

std::optional<SwitchAskedAhead> AskSwitchAhead(Link& link) {
  const auto likely =
      std::ranges::find_if(timing::kLikelyRates, [&](std::uint32_t r) { return MayTry(link, r); });
  if (likely == std::end(timing::kLikelyRates)) return std::nullopt;
  const auto seq = link.Send(Request::SetRate, wire::EncodeSetRate(*likely, wire::kRateTrialMs));
  if (!seq) return std::nullopt;
  return SwitchAskedAhead{*likely, *seq};
}

std::optional<std::vector<std::uint8_t>> ExchangeAtBestRate(
    Link& link, const wire::HelloInfo& device, std::optional<SwitchAskedAhead>& askedAhead,
    Request request, std::span<const std::uint8_t> payload, Attempts attempts) {
  const std::optional<SwitchAskedAhead> ahead = std::exchange(askedAhead, std::nullopt);
  std::vector<std::uint32_t> rates;
  for (std::uint32_t r : device.rates) {
    if (r > wire::kBaseRate && MayTry(link, r)) rates.push_back(r);
  }
  std::sort(rates.begin(), rates.end(), std::greater<>());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());

  for (std::uint32_t rate : rates) {
    // Asked already: its answer follows HELLO's. Should it not come, asking
    // again is as good: a device that switched all the same is back at the
    // base rate when a later attempt reaches it.
    std::optional<std::vector<std::uint8_t>> asked;
    milliseconds trial = timing::kRateTrial;
    if (ahead && ahead->rate == rate) {
      asked = AnswerAhead(link, *ahead);
      if (asked && wire::DecodeStatusAnswer(*asked) == wire::Status::Ok &&
          !AheadCanBeFollowed(link)) {
        // A slow line or device: our proof could come after the trial the
        // switch asked ahead gave. Let it end and ask with one long enough.
        WaitOutTrial(link, Clock::now(), trial);
        asked.reset();
      }
    }
    if (!asked && !link.lost()) {
      trial = TrialFor(link, payload.size());
      asked = link.Exchange(Request::SetRate,
                            wire::EncodeSetRate(rate, static_cast<int>(trial.count())),
                            timing::kSetRate);
    }
    if (link.lost()) return std::nullopt;
    if (!asked) {
      // Its answer may have been lost after it switched: let it come back.
      WaitOutTrial(link, Clock::now(), trial);
      Note("line rate " + RateText(link.rate()) + ": no answer to the switch to " + RateText(rate));
      break;
    }
    if (wire::DecodeStatusAnswer(*asked) != wire::Status::Ok) {
      Note("the device refused " + RateText(rate));
      continue;
    }
    // The device runs at the new rate now and goes back unless it hears a
    // valid frame there within its trial: the request itself is that frame.
    const Clock::time_point switched = Clock::now();
    if (!link.SetRate(rate)) {
      // Nothing was sent at the new rate: the device returns by itself.
      WaitOutTrial(link, switched, trial);
      Note("no line rate " + RateText(rate) + " (the port refused it); back to " +
           RateText(wire::kBaseRate));
      continue;
    }
    auto proof = Prove(link, request, payload, switched, trial);
    if (proof) {
      Note("line rate " + RateText(rate));
      return proof;
    }
    if (link.lost()) return std::nullopt;
    GiveUpRate(link, switched, trial);
    Failures().Put(link.portNumber(), rate,
                   [](std::uint32_t a, std::uint32_t b) { return std::min(a, b); });
    // One failed proof a call: each costs the device's trial, and a line
    // that did not carry this rate may not carry the next lower one either.
    // The next call on this port tries that one.
    Note("no line rate " + RateText(rate) + " (no valid answer there); back to " +
         RateText(wire::kBaseRate) + " for this call");
    break;
  }
  return link.Exchange(request, payload, attempts);
}

void ReturnToBaseRate(Link& link, std::optional<SwitchAskedAhead>& ahead) {
  if (const auto asked = std::exchange(ahead, std::nullopt); asked && !link.lost()) {
    const auto answer = AnswerAhead(link, *asked);
    if (answer && wire::DecodeStatusAnswer(*answer) == wire::Status::Ok) {
      WaitOutTrial(link, Clock::now(), timing::kRateTrial);
    }
  }
  if (link.rate() == wire::kBaseRate || link.lost()) return;
  const std::uint32_t from = link.rate();
  const auto answer =
      link.Exchange(Request::SetRate, wire::EncodeSetRate(wire::kBaseRate, 0), timing::kSetRate);
  link.SetRate(wire::kBaseRate);
  if (!answer) {
    Note("back to " + RateText(wire::kBaseRate) + " from " + RateText(from) +
         " without an answer; the device returns by itself");
  }
}

void FollowToBaseRate(Link& link) {
  if (link.rate() != wire::kBaseRate) link.SetRate(wire::kBaseRate);
}

}  // namespace kestra2g
