#include "kestra2g/round_trip.h"

#include <algorithm>

#include "kestra2g/timing.h"

namespace kestra2g {

void RoundTrip::Sample(Duration d) {
  d = std::max(d, Duration(0));
  // As TCP keeps its round trip (RFC 6298): the first sample sets the
  // spread to half of it, later ones move both by a fixed share.
  if (!smoothed_) {
    smoothed_ = d;
    spread_ = d / 2;
    return;
  }
  const Duration deviation = d > *smoothed_ ? d - *smoothed_ : *smoothed_ - d;
  spread_ = (3 * spread_ + deviation) / 4;
  smoothed_ = (7 * *smoothed_ + d) / 8;
}

RoundTrip::Duration RoundTrip::Bound() const {
  if (!smoothed_) return timing::kFirstRoundTrip;
  return *smoothed_ + std::max<Duration>(4 * spread_, timing::kRoundTripMargin);
}

}  // namespace kestra2g
