#pragma once
// The signing tool's delta sections: zstd's patch-from mode, the new payload
// compressed with the old one as its dictionary (a prefix reachable in the
// window), in one frame that the boot loader applies as it arrives. Only the
// signing tool and the tests link zstd; the device library forwards the
// section's bytes as they are.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace delta {

// zstd's level for deltas: on real pairs within 0.1 % of --ultra 22, 15 is
// 9 % larger (docs/protocol.md). The window is set apart from it
// (wire::DeltaWindowLog).
inline constexpr int kLevel = 19;

// The delta that turns `base` into `target`, or why zstd refused.
platform::Result<std::vector<std::uint8_t>> Make(std::span<const std::uint8_t> base,
                                                 std::span<const std::uint8_t> target,
                                                 int level = kLevel);

}  // namespace delta
