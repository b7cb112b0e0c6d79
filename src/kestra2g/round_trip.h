#pragma once
// The line's round trip as the exchanges measure it: from a request's
// write to its answer's arrival, the device's own answer time included.
// Every wait for an answer is taken from it; before the first answer a
// safe first bound stands in.

#include <chrono>
#include <optional>

namespace kestra2g {

class RoundTrip {
 public:
  using Duration = std::chrono::microseconds;

  // One answer's round trip.
  void Sample(Duration d);
  bool measured() const { return smoothed_.has_value(); }
  // Smoothed round trip and its spread (zero before a sample).
  Duration smoothed() const { return smoothed_.value_or(Duration(0)); }
  Duration spread() const { return spread_; }
  // How long an answer may take: the smoothed round trip and four times
  // its spread (a margin at least, for the scheduling of both ends), or the
  // first bound before anything was measured.
  Duration Bound() const;

 private:
  std::optional<Duration> smoothed_;
  Duration spread_{0};
};

}  // namespace kestra2g
