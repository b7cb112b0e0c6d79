#include "window/gtk/ico_image.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;

std::uint16_t Read16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::uint32_t Read32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
         (static_cast<std::uint32_t>(d[at + 2]) << 16) |
         (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

void Write32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> SelectIcoImage(std::span<const std::uint8_t> ico, int size) {
  if (ico.size() < kHeaderSize || Read16(ico, 0) != 0 || Read16(ico, 2) != 1) return {};
  const std::size_t count = Read16(ico, 4);
  if (count == 0 || ico.size() < kHeaderSize + count * kEntrySize) return {};

  std::size_t best = count;
  int bestDistance = 0;
  int bestDepth = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeaderSize + i * kEntrySize;
    const std::uint32_t bytes = Read32(ico, entry + 8);
    const std::uint32_t offset = Read32(ico, entry + 12);
    if (offset > ico.size() || bytes > ico.size() - offset || bytes == 0) continue;
    const int width = ico[entry] == 0 ? 256 : ico[entry];
    const int colours = ico[entry + 2];
    const int depth = Read16(ico, entry + 6) != 0 ? Read16(ico, entry + 6) : (colours == 0 ? 8 : 4);
    const int distance = std::abs(width - size);
    if (best == count || distance < bestDistance ||
        (distance == bestDistance && depth > bestDepth)) {
      best = i;
      bestDistance = distance;
      bestDepth = depth;
    }
  }
  if (best == count) return {};

  const std::size_t entry = kHeaderSize + best * kEntrySize;
  const std::uint32_t bytes = Read32(ico, entry + 8);
  const std::uint32_t offset = Read32(ico, entry + 12);
  std::vector<std::uint8_t> out(kHeaderSize + kEntrySize + bytes);
  out[2] = 1;  // type: icon
  out[4] = 1;  // one image
  std::memcpy(out.data() + kHeaderSize, ico.data() + entry, kEntrySize);
  Write32(out, kHeaderSize + 12, static_cast<std::uint32_t>(kHeaderSize + kEntrySize));
  std::memcpy(out.data() + kHeaderSize + kEntrySize, ico.data() + offset, bytes);
  return out;
}
