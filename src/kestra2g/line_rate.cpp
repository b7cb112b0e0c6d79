#include "kestra2g/line_rate.h"

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kestra2g/library_log.h"
#include "kestra2g/timing.h"
#include "kestra2g/wire/bytes.h"

namespace kestra2g {
namespace {

using wire::Request;

void Note(const std::string& text) { LibraryLog().Write(text); }

std::string RateText(std::uint32_t rate) { return std::to_string(rate) + " baud"; }

std::vector<std::uint8_t> RatePayload(std::uint32_t rate) {
  return wire::ByteWriter().U32(rate).Take();
}

// The answer to the switch asked ahead, which follows HELLO's.
std::optional<std::vector<std::uint8_t>> AnswerAhead(Link& link, const SwitchAskedAhead& ahead) {
  return link.Await(Request::SetRate, ahead.seq, Clock::now() + timing::kSetRate.replyTimeout);
}

// A device that switched at `switched` and hears no valid frame at the new
// rate is back at the old one after this.
void WaitOutTrial(Clock::time_point switched) {
  std::this_thread::sleep_until(switched + timing::kRateTrial + timing::kRateTrialMargin);
}

}  // namespace

std::optional<SwitchAskedAhead> AskSwitchAhead(Link& link) {
  if (!link.Allows(timing::kLikelyRate)) return std::nullopt;
  const auto seq = link.Send(Request::SetRate, RatePayload(timing::kLikelyRate));
  if (!seq) return std::nullopt;
  return SwitchAskedAhead{timing::kLikelyRate, *seq};
}

std::optional<std::vector<std::uint8_t>> ExchangeAtBestRate(
    Link& link, const wire::HelloInfo& device, std::optional<SwitchAskedAhead>& askedAhead,
    Request request, std::span<const std::uint8_t> payload, Attempts attempts) {
  const std::optional<SwitchAskedAhead> ahead = std::exchange(askedAhead, std::nullopt);
  std::vector<std::uint32_t> rates;
  for (std::uint32_t r : device.rates) {
    if (r > wire::kBaseRate && link.Allows(r)) rates.push_back(r);
  }
  std::sort(rates.begin(), rates.end(), std::greater<>());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());

  for (std::uint32_t rate : rates) {
    // Asked already: its answer follows HELLO's. Should it not come, asking
    // again is as good (an answer lost after the switch is waited out below).
    std::optional<std::vector<std::uint8_t>> asked;
    if (ahead && ahead->rate == rate) asked = AnswerAhead(link, *ahead);
    if (!asked && !link.lost()) {
      asked = link.Exchange(Request::SetRate, RatePayload(rate), timing::kSetRate);
    }
    if (link.lost()) return std::nullopt;
    if (!asked) {
      // Its answer may have been lost after it switched: let it come back.
      WaitOutTrial(Clock::now());
      Note("line rate " + RateText(link.rate()) + ": no answer to the switch to " + RateText(rate));
      break;
    }
    if (wire::ReplyStatus(*asked) != wire::Status::Ok) {
      Note("the device refused " + RateText(rate));
      continue;
    }
    // The device runs at the new rate now and goes back unless it hears a
    // valid frame there within its trial: the request itself is that frame.
    const Clock::time_point switched = Clock::now();
    std::string why;
    if (!link.SetRate(rate)) {
      why = "the port refused it";
    } else {
      auto proof = link.Exchange(request, payload, timing::kProveRate);
      if (proof) {
        Note("line rate " + RateText(rate));
        return proof;
      }
      if (link.lost()) return std::nullopt;
      why = "no valid answer there";
      // Should the device have heard the request and only its answer been
      // lost, it would stay: ask it back too (harmless when it did not).
      link.Send(Request::SetRate, RatePayload(wire::kBaseRate));
    }
    link.SetRate(wire::kBaseRate);
    WaitOutTrial(switched);
    Note("no line rate " + RateText(rate) + " (" + why + "); back to " + RateText(wire::kBaseRate));
  }
  return link.Exchange(request, payload, attempts);
}

void ReturnToBaseRate(Link& link, std::optional<SwitchAskedAhead>& ahead) {
  if (const auto asked = std::exchange(ahead, std::nullopt); asked && !link.lost()) {
    const auto answer = AnswerAhead(link, *asked);
    if (answer && wire::ReplyStatus(*answer) == wire::Status::Ok) WaitOutTrial(Clock::now());
  }
  if (link.rate() == wire::kBaseRate || link.lost()) return;
  const std::uint32_t from = link.rate();
  const auto answer =
      link.Exchange(Request::SetRate, RatePayload(wire::kBaseRate), timing::kSetRate);
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
