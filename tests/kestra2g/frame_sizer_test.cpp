// The data block size follows what the line does to frames.

#include "kestra2g/frame_sizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using kestra2g::FrameSizer;

constexpr std::size_t kOverhead = 16;

// Sends `frames` frames at the sizer's own choice over a line that damages
// each byte with probability p, and returns the block it settles on.
std::size_t SettleOn(FrameSizer& sizer, double p, int frames, unsigned seed) {
  std::mt19937_64 rng(seed);
  for (int i = 0; i < frames; ++i) {
    const std::size_t wire = sizer.Block() + kOverhead;
    const double whole = std::pow(1 - p, static_cast<double>(wire));
    if (std::uniform_real_distribution<double>(0, 1)(rng) < whole) {
      sizer.Delivered(wire);
    } else {
      sizer.Lost(wire);
    }
  }
  return sizer.Block();
}

TEST(FrameSizer, SettlesNearTheBestBlockForTheLineAndGrowsBackWhenItClears) {
  const struct {
    double p;
    std::size_t low, high;  // generous: the estimate comes from a few losses
  } lines[] = {
      {0, 2048, 2048},  {1e-5, 700, 2048},  // best near 1265
      {1e-4, 220, 800},                     // best near 400
      {1e-3, 64, 260},                      // best near 126
      {1e-2, 64, 90},                       // as small as we go
  };
  for (const auto& line : lines) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      FrameSizer sizer(2048, 64, kOverhead);
      const std::size_t block = SettleOn(sizer, line.p, 3000, seed);
      EXPECT_GE(block, line.low) << line.p << " seed " << seed;
      EXPECT_LE(block, line.high) << line.p << " seed " << seed;
      // A clean stretch brings the largest block back.
      EXPECT_EQ(SettleOn(sizer, 0, 2000, seed), 2048U) << line.p;
    }
  }
}

}  // namespace
