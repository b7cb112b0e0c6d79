#include "kestra2g/wire/crc32.h"

#include <array>

namespace wire {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  crc = ~crc;
  for (std::uint8_t b : bytes) crc = kTable[(crc ^ b) & 0xFFU] ^ (crc >> 8);
  return ~crc;
}

}  // namespace wire
