#pragma once
// CRC-32 (IEEE 802.3, reflected, as zip and Ethernet use it).

#include <cstdint>
#include <span>

namespace wire {

// Continues a running CRC: pass the previous result as `crc` (0 to start).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace wire
