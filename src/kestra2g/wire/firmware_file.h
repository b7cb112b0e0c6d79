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
// Format 3, signed, with a security counter and delta sections: format 2's
// first 80 bytes, then
//  80  u32 security counter   a device refuses an image below its stored one
//  84  u8  delta sections n   at most kMaxDeltaSections
//  85  u8[3] reserved         0
//  88  n x 72 bytes, one per delta section:
//        u8[32] base          SHA-256 of the payload the delta applies to
//        u8[32] delta SHA-256 of the section's own bytes
//        u32 offset, u32 size where its bytes are in the file
//  88+72n  u8[64] Ed25519 signature over bytes 0..87+72n
// 152+72n  payload, then the delta sections' bytes in table order, each
//          right after the one before (the first right after the payload).
// The image a device holds is the header and the payload; the sections are
// in the file only, for the host to send one instead of the payload.
//
// Format 1, unsigned (older files; read, never trusted):
//   0  "K2GF", u16 format 1, u8 device code, u8 0, char[8] family name
//  16  u32 payload size, u32 payload CRC-32, char[20] version
//  44  u32 header CRC-32 over bytes 0..43
//  48  payload

#include <cstddef>
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
inline constexpr std::uint16_t kDeltaFormat = 3;
// Format 3: the manifest ahead of its delta table, one table entry, and the
// most entries a file carries (its header then fits one frame).
inline constexpr std::size_t kDeltaManifestFixedSize = 88;
inline constexpr std::size_t kDeltaEntrySize = 72;
inline constexpr std::size_t kMaxDeltaSections = 16;
inline constexpr std::size_t kSignatureSize = 64;
// The header of a format 3 file with `sections` delta sections.
constexpr std::size_t DeltaHeaderSize(std::size_t sections) {
  return kDeltaManifestFixedSize + kDeltaEntrySize * sections + kSignatureSize;
}
// The window a delta section's zstd frame has, as a log of 2: twice the
// larger of its base and its payload, so that the base and the new payload
// so far are both in reach. A device takes any frame whose window this
// gives for its application area.
int DeltaWindowLog(std::size_t largerPayload);
// Whether a signed header (format 2 or 3) can have this many bytes.
bool IsSignedHeaderSize(std::size_t size);

// A delta section: bytes that turn the payload whose SHA-256 is `base` into
// this file's payload (zstd's patch-from frame, made by reflint-sign).
struct DeltaSection {
  Sha256Digest base{};
  Sha256Digest sha256{};  // of the section's own bytes
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  bool operator==(const DeltaSection&) const = default;
};

struct FirmwareHeader {
  std::uint16_t format = 0;
  std::uint8_t deviceCode = 0;
  std::string familyName;
  std::uint32_t payloadSize = 0;
  std::string version;
  std::uint32_t payloadCrc = 0;  // format 1
  Sha256Digest payloadSha256{};  // formats 2 and 3
  KeyId keyId{};                 // formats 2 and 3
  Signature signature{};         // formats 2 and 3
  // Format 3; a format 2 file counts as counter 0 without sections.
  std::uint32_t securityCounter = 0;
  std::vector<DeltaSection> deltas;
  std::size_t manifestSize = kManifestSize;  // the bytes the signature covers
  bool signedFormat() const { return format == kSignedFormat || format == kDeltaFormat; }
  // The header's bytes at the start of the file.
  std::size_t size() const {
    return signedFormat() ? manifestSize + kSignatureSize : kFirmwareHeaderSize;
  }
  // What a device holds: the header and the payload.
  std::size_t imageSize() const { return size() + payloadSize; }
  // The whole file: the image and the delta sections after it.
  std::size_t fileSize() const {
    return deltas.empty() ? imageSize() : std::size_t{deltas.back().offset} + deltas.back().size;
  }
  // The section that applies to a payload of this SHA-256, if any.
  const DeltaSection* DeltaFor(const Sha256Digest& base) const;
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
  BadDeltaTable,  // format 3: sections out of place, too many, or two with one base
  BadDeltaHash,
};

// A format 1 file: the older, unsigned kind.
std::vector<std::uint8_t> BuildFirmwareFile(std::uint8_t deviceCode, std::string_view familyName,
                                            std::string_view version,
                                            std::span<const std::uint8_t> payload);

// A format 2 file signed with `key`; nothing when signing failed.
std::optional<std::vector<std::uint8_t>> BuildSignedFirmwareFile(
    std::uint8_t deviceCode, std::string_view familyName, std::string_view version,
    std::span<const std::uint8_t> payload, const KeyPair& key);

// A delta section to be: its base and its bytes.
struct DeltaInput {
  Sha256Digest base{};
  std::span<const std::uint8_t> bytes;
};

// A format 3 file signed with `key`: the payload, its security counter and
// the delta sections in the order given (at most kMaxDeltaSections, bases
// distinct); nothing when signing failed or the table cannot be written.
std::optional<std::vector<std::uint8_t>> BuildDeltaFirmwareFile(
    std::uint8_t deviceCode, std::string_view familyName, std::string_view version,
    std::span<const std::uint8_t> payload, std::uint32_t securityCounter,
    std::span<const DeltaInput> deltas, const KeyPair& key);

// Reads and checks the header alone (magic, format, for format 1 its CRC,
// for format 3 that the delta table places its sections after the payload).
FirmwareCheck ParseFirmwareHeader(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

// Checks a whole file or image: header, size and the payload's CRC-32
// (format 1) or SHA-256 (formats 2 and 3). `bytes` is either the image (the
// header and the payload, as a device holds it) or, for format 3, the whole
// file, whose delta sections must then match their hashes; nothing else may
// follow. The signature is not looked at here (firmware_signature.h does that).
FirmwareCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes, FirmwareHeader* header);

// The payload and a delta section's bytes of a file or image whose header
// parsed (empty where `bytes` ends before them).
std::span<const std::uint8_t> PayloadOf(std::span<const std::uint8_t> bytes,
                                        const FirmwareHeader& header);
std::span<const std::uint8_t> DeltaBytesOf(std::span<const std::uint8_t> bytes,
                                           const DeltaSection& section);

const char* FirmwareCheckText(FirmwareCheck c);

}  // namespace wire
