#pragma once
// The clock the transfer test builds the link and the transfer over
// (KESTRA2G_CLOCK): it stands still until the test's scripted line moves it.

#include <chrono>

namespace transfer_test {

struct ScriptedClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<ScriptedClock>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept { return time_point(elapsed); }
  static void Advance(duration d) { elapsed += d; }
  static inline duration elapsed{0};
};

}  // namespace transfer_test
