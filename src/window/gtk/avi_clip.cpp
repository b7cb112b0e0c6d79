#include "window/gtk/avi_clip.h"

#include <array>
#include <cstring>

namespace {

constexpr int kMaxSide = 4096;
constexpr std::size_t kMaxFrames = 4096;
constexpr unsigned kDefaultFrameMs = 500;

using Bytes = std::span<const std::uint8_t>;

std::uint32_t Read32(Bytes d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
         (static_cast<std::uint32_t>(d[at + 2]) << 16) |
         (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

std::uint16_t Read16(Bytes d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

bool IsTag(Bytes d, std::size_t at, const char (&tag)[5]) {
  return std::memcmp(d.data() + at, tag, 4) == 0;
}

struct Parts {
  std::uint32_t microSecPerFrame = 0;
  std::uint32_t scale = 0;
  std::uint32_t rate = 0;
  Bytes format;  // strf of the video stream
  std::vector<Bytes> frames;
  bool videoStream = false;
  bool inVideoStream = false;
};

// Walks the chunks of one list body; false when a chunk runs past the end.
bool WalkChunks(Bytes body, Parts& parts, int depth) {
  if (depth > 8) return false;
  std::size_t at = 0;
  while (at + 8 <= body.size()) {
    const std::uint32_t size = Read32(body, at + 4);
    if (size > body.size() - at - 8) return false;
    const Bytes data = body.subspan(at + 8, size);
    if (IsTag(body, at, "LIST")) {
      if (data.size() < 4) return false;
      const bool streamList = IsTag(data, 0, "strl");
      if (streamList) parts.inVideoStream = false;
      if (!WalkChunks(data.subspan(4), parts, depth + 1)) return false;
      if (streamList) parts.inVideoStream = false;
    } else if (IsTag(body, at, "avih") && data.size() >= 40) {
      parts.microSecPerFrame = Read32(data, 0);
    } else if (IsTag(body, at, "strh") && data.size() >= 28) {
      // Only the first video stream counts; audio and others are skipped.
      if (IsTag(data, 0, "vids") && !parts.videoStream) {
        parts.videoStream = parts.inVideoStream = true;
        parts.scale = Read32(data, 20);
        parts.rate = Read32(data, 24);
      }
    } else if (IsTag(body, at, "strf") && parts.inVideoStream && parts.format.empty()) {
      parts.format = data;
    } else if (IsTag(body, at, "00db") || IsTag(body, at, "00dc")) {
      parts.frames.push_back(data);
    }
    at += 8 + size + (size & 1);  // chunks are padded to even sizes
  }
  return true;
}

}  // namespace

std::optional<AviClip> ParseAviClip(Bytes riff, bool magentaTransparent) {
  if (riff.size() < 12 || !IsTag(riff, 0, "RIFF") || !IsTag(riff, 8, "AVI ")) return std::nullopt;
  const std::uint32_t riffSize = Read32(riff, 4);
  if (riffSize < 4 || riffSize > riff.size() - 8) return std::nullopt;
  Parts parts;
  if (!WalkChunks(riff.subspan(12, riffSize - 4), parts, 0)) return std::nullopt;
  if (!parts.videoStream || parts.format.size() < 40 || parts.frames.empty() ||
      parts.frames.size() > kMaxFrames)
    return std::nullopt;

  const Bytes bmi = parts.format;
  const std::uint32_t headerSize = Read32(bmi, 0);
  const auto width = static_cast<std::int32_t>(Read32(bmi, 4));
  const auto height = static_cast<std::int32_t>(Read32(bmi, 8));
  const std::uint16_t bitCount = Read16(bmi, 14);
  const std::uint32_t compression = Read32(bmi, 16);
  std::uint32_t coloursUsed = Read32(bmi, 32);
  if (bitCount != 8 || compression != 0) return std::nullopt;  // 8-bit BI_RGB only
  if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide)
    return std::nullopt;
  if (coloursUsed == 0 || coloursUsed > 256) coloursUsed = 256;
  if (headerSize < 40 || headerSize > bmi.size() || (bmi.size() - headerSize) / 4 < coloursUsed)
    return std::nullopt;

  std::array<std::array<std::uint8_t, 4>, 256> palette{};
  for (std::uint32_t i = 0; i < coloursUsed; ++i) {
    const std::size_t at = headerSize + i * 4;  // RGBQUAD: blue, green, red, reserved
    const std::uint8_t r = bmi[at + 2], g = bmi[at + 1], b = bmi[at];
    const bool clear = magentaTransparent && r == 255 && g == 0 && b == 255;
    palette[i] = {r, g, b, static_cast<std::uint8_t>(clear ? 0 : 255)};
  }

  AviClip clip;
  clip.width = width;
  clip.height = height < 0 ? -height : height;
  const bool bottomUp = height > 0;
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
  for (const Bytes frame : parts.frames) {
    if (frame.size() < stride * static_cast<std::size_t>(clip.height)) return std::nullopt;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(clip.width) * clip.height * 4);
    for (int row = 0; row < clip.height; ++row) {
      const std::size_t source =
          stride * static_cast<std::size_t>(bottomUp ? clip.height - 1 - row : row);
      std::uint8_t* out = rgba.data() + static_cast<std::size_t>(row) * clip.width * 4;
      for (int col = 0; col < clip.width; ++col)
        std::memcpy(out + col * 4, palette[frame[source + col]].data(), 4);
    }
    clip.frames.push_back(std::move(rgba));
  }

  if (parts.scale != 0 && parts.rate != 0)
    clip.frameMs = static_cast<unsigned>((1000ull * parts.scale + parts.rate / 2) / parts.rate);
  else if (parts.microSecPerFrame != 0)
    clip.frameMs = (parts.microSecPerFrame + 500) / 1000;
  if (clip.frameMs == 0) clip.frameMs = kDefaultFrameMs;
  return clip;
}
