#pragma once
// Our firmware file: a 48-byte header naming the family, then the image
// payload. The whole file is what the device holds in its application area;
// the header is written last, so the device only ever sees a valid header
// over a complete, checked payload.
//
//   0  "K2GF"                 magic
//   4  u16 format version     1
//   6  u8  device code        HLX700 0, TQ640 1, MV5100 2, KII 3
//   7  u8  reserved           0
//   8  char[8] family name    NUL padded, informative
//  16  u32 payload size       bytes after the header
//  20  u32 payload CRC-32
//  24  char[20] version       NUL padded, e.g. "2.1.0"
//  44  u32 header CRC-32      over bytes 0..43
//  48  payload

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wire {

inline constexpr std::size_t kFirmwareHeaderSize = 48;
inline constexpr std::uint16_t kFirmwareFormat = 1;

struct FirmwareHeader {
  std::uint8_t deviceCode = 0;
  std::string familyName;
  std::uint32_t payloadSize = 0;
  std::uint32_t payloadCrc = 0;
  std::string version;
};

enum class FirmwareCheck { Ok, TooShort, BadMagic, BadFormat, BadHeaderCrc, SizeMismatch, BadCrc };

std::vector<std::uint8_t> BuildFirmwareFile(std::uint8_t deviceCode, std::string_view familyName,
                                            std::string_view version,
                                            std::span<const std::uint8_t> payload);

// Reads and checks the header alone (magic, format, header CRC).
FirmwareCheck ParseFirmwareHeader(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

// Checks a whole file or image: header, size and payload CRC. Bytes after
// the payload are not allowed.
FirmwareCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

const char* FirmwareCheckText(FirmwareCheck c);

}  // namespace wire
