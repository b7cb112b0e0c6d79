#include "kestra2g/wire/firmware_file.h"

#include <algorithm>
#include <array>

#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/crc32.h"

namespace wire {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'K', '2', 'G', 'F'};
constexpr std::size_t kNameField = 8;
constexpr std::size_t kVersionField = 20;

void PaddedText(ByteWriter& w, std::string_view s, std::size_t field) {
  const std::size_t n = std::min(s.size(), field - 1);
  w.Text(s.substr(0, n));
  for (std::size_t i = n; i < field; ++i) w.U8(0);
}

std::string FieldText(std::span<const std::uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), 0);
  return std::string(field.begin(), end);
}

template <std::size_t N>
std::array<std::uint8_t, N> FieldBytes(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), N, out.begin());
  return out;
}

}  // namespace

std::vector<std::uint8_t> BuildFirmwareFile(std::uint8_t deviceCode, std::string_view familyName,
                                            std::string_view version,
                                            std::span<const std::uint8_t> payload) {
  ByteWriter w;
  w.Bytes(kMagic).U16(kUnsignedFormat).U8(deviceCode).U8(0);
  PaddedText(w, familyName, kNameField);
  w.U32(static_cast<std::uint32_t>(payload.size())).U32(Crc32(payload));
  PaddedText(w, version, kVersionField);
  std::vector<std::uint8_t> head = w.Take();
  const std::uint32_t crc = Crc32(head);
  ByteWriter all;
  all.Bytes(head).U32(crc).Bytes(payload);
  return all.Take();
}

std::optional<std::vector<std::uint8_t>> BuildSignedFirmwareFile(
    std::uint8_t deviceCode, std::string_view familyName, std::string_view version,
    std::span<const std::uint8_t> payload, const KeyPair& key) {
  ByteWriter w;
  w.Bytes(kMagic).U16(kSignedFormat).U8(deviceCode).U8(0);
  PaddedText(w, familyName, kNameField);
  w.U32(static_cast<std::uint32_t>(payload.size()));
  PaddedText(w, version, kVersionField);
  w.Bytes(Sha256(payload)).Bytes(KeyIdOf(key.publicKey));
  std::vector<std::uint8_t> manifest = w.Take();
  const auto signature = Ed25519Sign(key.secret, manifest);
  if (!signature) return std::nullopt;
  ByteWriter all;
  all.Bytes(manifest).Bytes(*signature).Bytes(payload);
  return all.Take();
}

FirmwareCheck ParseFirmwareHeader(std::span<const std::uint8_t> bytes, FirmwareHeader* header) {
  if (bytes.size() < kFirmwareHeaderSize) return FirmwareCheck::TooShort;
  if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) return FirmwareCheck::BadMagic;
  ByteReader r(bytes.subspan(4, 4));
  FirmwareHeader h;
  h.format = r.U16();
  if (h.format != kUnsignedFormat && h.format != kSignedFormat) return FirmwareCheck::BadFormat;
  if (h.signedFormat() && bytes.size() < kSignedHeaderSize) return FirmwareCheck::TooShort;
  h.deviceCode = r.U8();
  r.U8();
  h.familyName = FieldText(bytes.subspan(8, kNameField));
  h.payloadSize = ByteReader(bytes.subspan(16, 4)).U32();
  if (h.signedFormat()) {
    h.version = FieldText(bytes.subspan(20, kVersionField));
    h.payloadSha256 = FieldBytes<32>(bytes, 40);
    h.keyId = FieldBytes<8>(bytes, 72);
    h.signature = FieldBytes<64>(bytes, kManifestSize);
  } else {
    h.payloadCrc = ByteReader(bytes.subspan(20, 4)).U32();
    h.version = FieldText(bytes.subspan(24, kVersionField));
    if (ByteReader(bytes.subspan(44, 4)).U32() != Crc32(bytes.first(44))) {
      return FirmwareCheck::BadHeaderCrc;
    }
  }
  if (header != nullptr) *header = std::move(h);
  return FirmwareCheck::Ok;
}

FirmwareCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes, FirmwareHeader* header) {
  FirmwareHeader h;
  if (const FirmwareCheck c = ParseFirmwareHeader(bytes, &h); c != FirmwareCheck::Ok) return c;
  if (bytes.size() != h.size() + h.payloadSize) return FirmwareCheck::SizeMismatch;
  const auto payload = bytes.subspan(h.size());
  if (h.signedFormat()) {
    if (Sha256(payload) != h.payloadSha256) return FirmwareCheck::BadHash;
  } else if (Crc32(payload) != h.payloadCrc) {
    return FirmwareCheck::BadCrc;
  }
  if (header != nullptr) *header = std::move(h);
  return FirmwareCheck::Ok;
}

const char* FirmwareCheckText(FirmwareCheck c) {
  switch (c) {
    case FirmwareCheck::Ok:
      return "ok";
    case FirmwareCheck::TooShort:
      return "shorter than a firmware header";
    case FirmwareCheck::BadMagic:
      return "not a firmware file";
    case FirmwareCheck::BadFormat:
      return "unknown firmware file format";
    case FirmwareCheck::BadHeaderCrc:
      return "damaged firmware header";
    case FirmwareCheck::SizeMismatch:
      return "firmware size does not match its header";
    case FirmwareCheck::BadCrc:
      return "damaged firmware payload";
    case FirmwareCheck::BadHash:
      return "its payload does not match the signed hash";
  }
  return "?";
}

}  // namespace wire
