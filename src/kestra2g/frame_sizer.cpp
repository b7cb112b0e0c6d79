#include "kestra2g/frame_sizer.h"

#include <algorithm>
#include <cmath>

namespace kestra2g {
namespace {

// The estimate forgets half of what it saw over about this many line bytes.
constexpr double kMemoryBytes = 24 * 1024;
// Below this weight of losses the line counts as clean.
constexpr double kNoLoss = 0.05;

}  // namespace

FrameSizer::FrameSizer(std::size_t maxBlock, std::size_t minBlock, std::size_t overhead)
    : max_(std::max<std::size_t>(maxBlock, 1)),
      min_(std::clamp<std::size_t>(minBlock, 1, max_)),
      overhead_(overhead) {}

void FrameSizer::Count(std::size_t wireBytes, bool lost) {
  const double fade = std::exp2(-static_cast<double>(wireBytes) / kMemoryBytes);
  delivered_ = delivered_ * fade + (lost ? 0 : 1);
  lost_ = lost_ * fade + (lost ? 1 : 0);
  bytes_ = bytes_ * fade + static_cast<double>(wireBytes);
}

double FrameSizer::ErrorRate() const {
  if (lost_ < kNoLoss || bytes_ <= 0) return 0;
  const double frames = delivered_ + lost_;
  // A frame of n bytes arrives whole with probability (1-p)^n.
  const double share = std::min(lost_ / frames, 0.95);
  return -std::log1p(-share) / (bytes_ / frames);
}

std::size_t FrameSizer::Block() const {
  const double p = ErrorRate();
  if (p <= 0) return max_;
  const double best = std::sqrt(static_cast<double>(overhead_) / p);
  if (best >= static_cast<double>(max_)) return max_;
  return std::max(min_, static_cast<std::size_t>(best));
}

}  // namespace kestra2g
