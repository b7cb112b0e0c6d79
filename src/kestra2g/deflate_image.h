#pragma once
// Compresses a firmware image for a device that inflates it while writing.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestra2g {

// A zlib stream (deflate, window of 2^windowBits bytes, 9..15) of `image`;
// nothing when zlib fails.
std::optional<std::vector<std::uint8_t>> DeflateImage(std::span<const std::uint8_t> image,
                                                      int windowBits);

}  // namespace kestra2g
