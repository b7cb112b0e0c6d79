#pragma once
// Reads the kind of AVI clip an animation control plays: a RIFF file with
// one video stream of uncompressed 8-bit palette frames. Nothing of a
// toolkit here, so it is tested on its own.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct AviClip {
  int width = 0;
  int height = 0;
  unsigned frameMs = 0;
  // Top-down RGBA rows, width * height * 4 bytes per frame.
  std::vector<std::vector<std::uint8_t>> frames;
};

// Null when the data is not such a clip or is cut short. With
// magentaTransparent, pixels of colour (255, 0, 255) get alpha 0.
std::optional<AviClip> ParseAviClip(std::span<const std::uint8_t> riff, bool magentaTransparent);
