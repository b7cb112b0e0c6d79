#pragma once
// Our firmware file: a header naming the family and version, then the image
// payload. The whole file is what the device holds in its application area;
// the header is written last, so the device only ever sees a valid header
// over a complete, checked payload.
//
// Format 2, signed (what ships): an 80-byte manifest, its signature, the payload.
//   0  "K2GF"                 magic
//   4  u16 format version     2
//   6  u8  device code        HLX700 0, TQ640 1, MV5100 2, KII 3
//   7  u8  reserved           0
//   8  char[8] family name    NUL padded
//  16  u32 payload size       bytes after the header
//  20  char[20] version       NUL padded, e.g. "2.1.0"
//  40  u8[32] payload SHA-256
//  72  u8[8]  signing key id  first 8 bytes of the SHA-256 of its public key
//  80  u8[64] Ed25519 signature over bytes 0..79
// 144  payload
//
// Format 1, unsigned (older files; read, never trusted):
//   0  "K2GF", u16 format 1, u8 device code, u8 0, char[8] family name
//  16  u32 payload size, u32 payload CRC-32, char[20] version
//  44  u32 header CRC-32 over bytes 0..43
//  48  payload

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kestra2g/wire/signing.h"

namespace wire {

inline constexpr std::size_t kFirmwareHeaderSize = 48;  // format 1
inline constexpr std::size_t kManifestSize = 80;
inline constexpr std::size_t kSignedHeaderSize = kManifestSize + 64;  // format 2
// The whole file is the image in the device's application area, and the
// largest flash a boot loader of ours has is 256 MiB (the emulator's
// --flash-size at most): no firmware file is larger, and none larger is read.
inline constexpr std::size_t kMaxFlashSize = std::size_t{256} << 20;
inline constexpr std::size_t kMaxFirmwareFileSize = kMaxFlashSize;
inline constexpr std::uint16_t kUnsignedFormat = 1;
inline constexpr std::uint16_t kSignedFormat = 2;

struct FirmwareHeader {
  std::uint16_t format = 0;
  std::uint8_t deviceCode = 0;
  std::string familyName;
  std::uint32_t payloadSize = 0;
  std::string version;
  std::uint32_t payloadCrc = 0;  // format 1
  Sha256Digest payloadSha256{};  // format 2
  KeyId keyId{};                 // format 2
  Signature signature{};         // format 2
  bool signedFormat() const { return format == kSignedFormat; }
  // The header's bytes at the start of the file.
  std::size_t size() const { return signedFormat() ? kSignedHeaderSize : kFirmwareHeaderSize; }
};

enum class FirmwareCheck {
  Ok,
  TooShort,
  BadMagic,
  BadFormat,
  BadHeaderCrc,
  SizeMismatch,
  BadCrc,
  BadHash,
};

// A format 1 file: the older, unsigned kind.
std::vector<std::uint8_t> BuildFirmwareFile(std::uint8_t deviceCode, std::string_view familyName,
                                            std::string_view version,
                                            std::span<const std::uint8_t> payload);

// A format 2 file signed with `key`; nothing when signing failed.
std::optional<std::vector<std::uint8_t>> BuildSignedFirmwareFile(
    std::uint8_t deviceCode, std::string_view familyName, std::string_view version,
    std::span<const std::uint8_t> payload, const KeyPair& key);

// Reads and checks the header alone (magic, format, and for format 1 its CRC).
FirmwareCheck ParseFirmwareHeader(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

// Checks a whole file or image: header, size and the payload's CRC-32
// (format 1) or SHA-256 (format 2). Bytes after the payload are not allowed.
// The signature is not looked at here (firmware_signature.h does that).
FirmwareCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

const char* FirmwareCheckText(FirmwareCheck c);

}  // namespace wire
