#include "kestra2g/wire/firmware_file.h"

#include <algorithm>
#include <array>
#include <bit>

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

// The 80 bytes formats 2 and 3 begin with.
void SignedManifestStart(ByteWriter& w, std::uint16_t format, std::uint8_t deviceCode,
                         std::string_view familyName, std::string_view version,
                         std::span<const std::uint8_t> payload, const KeyPair& key) {
  w.Bytes(kMagic).U16(format).U8(deviceCode).U8(0);
  PaddedText(w, familyName, kNameField);
  w.U32(static_cast<std::uint32_t>(payload.size()));
  PaddedText(w, version, kVersionField);
  w.Bytes(Sha256(payload)).Bytes(KeyIdOf(key.publicKey));
}

std::optional<std::vector<std::uint8_t>> SignAndJoin(const std::vector<std::uint8_t>& manifest,
                                                     const KeyPair& key,
                                                     std::span<const std::uint8_t> payload,
                                                     std::span<const DeltaInput> deltas) {
  const auto signature = Ed25519Sign(key.secret, manifest);
  if (!signature) return std::nullopt;
  ByteWriter all;
  all.Bytes(manifest).Bytes(*signature).Bytes(payload);
  for (const DeltaInput& d : deltas) all.Bytes(d.bytes);
  return all.Take();
}

// Format 3's table: each section in its place right after the one before
// (the first after the payload), none empty, no base twice, and the file
// within the largest a device can take.
bool DeltaTableFits(const FirmwareHeader& h) {
  std::uint64_t at = h.imageSize();
  for (std::size_t i = 0; i < h.deltas.size(); ++i) {
    const DeltaSection& d = h.deltas[i];
    if (d.offset != at || d.size == 0) return false;
    at += d.size;
    if (at > kMaxFirmwareFileSize) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (h.deltas[j].base == d.base) return false;
    }
  }
  return true;
}

}  // namespace

int DeltaWindowLog(std::size_t largerPayload) {
  // zstd's bounds on a 64-bit build: 1 KiB to 2 GiB.
  const int log = static_cast<int>(std::bit_width(std::max<std::size_t>(largerPayload, 1))) + 1;
  return std::clamp(log, 10, 31);
}

bool IsSignedHeaderSize(std::size_t size) {
  if (size == kSignedHeaderSize) return true;
  if (size < DeltaHeaderSize(0) || size > DeltaHeaderSize(kMaxDeltaSections)) return false;
  return (size - DeltaHeaderSize(0)) % kDeltaEntrySize == 0;
}

const DeltaSection* FirmwareHeader::DeltaFor(const Sha256Digest& base) const {
  const auto it = std::ranges::find(deltas, base, &DeltaSection::base);
  return it == deltas.end() ? nullptr : &*it;
}

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
  SignedManifestStart(w, kSignedFormat, deviceCode, familyName, version, payload, key);
  return SignAndJoin(w.Take(), key, payload, {});
}

std::optional<std::vector<std::uint8_t>> BuildDeltaFirmwareFile(
    std::uint8_t deviceCode, std::string_view familyName, std::string_view version,
    std::span<const std::uint8_t> payload, std::uint32_t securityCounter,
    std::span<const DeltaInput> deltas, const KeyPair& key) {
  if (deltas.size() > kMaxDeltaSections) return std::nullopt;
  FirmwareHeader h;
  h.format = kDeltaFormat;
  h.manifestSize = DeltaHeaderSize(deltas.size()) - kSignatureSize;
  h.payloadSize = static_cast<std::uint32_t>(payload.size());
  std::uint64_t at = h.imageSize();
  for (const DeltaInput& d : deltas) {
    if (at + d.bytes.size() > kMaxFirmwareFileSize) return std::nullopt;
    h.deltas.push_back({d.base, Sha256(d.bytes), static_cast<std::uint32_t>(at),
                        static_cast<std::uint32_t>(d.bytes.size())});
    at += d.bytes.size();
  }
  if (!DeltaTableFits(h)) return std::nullopt;
  ByteWriter w;
  SignedManifestStart(w, kDeltaFormat, deviceCode, familyName, version, payload, key);
  w.U32(securityCounter).U8(static_cast<std::uint8_t>(deltas.size())).U8(0).U8(0).U8(0);
  for (const DeltaSection& d : h.deltas) w.Bytes(d.base).Bytes(d.sha256).U32(d.offset).U32(d.size);
  return SignAndJoin(w.Take(), key, payload, deltas);
}

FirmwareCheck ParseFirmwareHeader(std::span<const std::uint8_t> bytes, FirmwareHeader* header) {
  if (bytes.size() < kFirmwareHeaderSize) return FirmwareCheck::TooShort;
  if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) return FirmwareCheck::BadMagic;
  ByteReader r(bytes.subspan(4, 4));
  FirmwareHeader h;
  h.format = r.U16();
  if (h.format != kUnsignedFormat && h.format != kSignedFormat && h.format != kDeltaFormat) {
    return FirmwareCheck::BadFormat;
  }
  if (h.format == kDeltaFormat) {
    if (bytes.size() < kDeltaManifestFixedSize) return FirmwareCheck::TooShort;
    const std::size_t count = bytes[84];
    if (count > kMaxDeltaSections) return FirmwareCheck::BadDeltaTable;
    h.manifestSize = DeltaHeaderSize(count) - kSignatureSize;
    h.deltas.resize(count);
  }
  if (h.signedFormat() && bytes.size() < h.size()) return FirmwareCheck::TooShort;
  h.deviceCode = r.U8();
  r.U8();
  h.familyName = FieldText(bytes.subspan(8, kNameField));
  h.payloadSize = ByteReader(bytes.subspan(16, 4)).U32();
  if (h.signedFormat()) {
    h.version = FieldText(bytes.subspan(20, kVersionField));
    h.payloadSha256 = FieldBytes<32>(bytes, 40);
    h.keyId = FieldBytes<8>(bytes, 72);
    h.signature = FieldBytes<64>(bytes, h.manifestSize);
  } else {
    h.payloadCrc = ByteReader(bytes.subspan(20, 4)).U32();
    h.version = FieldText(bytes.subspan(24, kVersionField));
    if (ByteReader(bytes.subspan(44, 4)).U32() != Crc32(bytes.first(44))) {
      return FirmwareCheck::BadHeaderCrc;
    }
  }
  if (h.format == kDeltaFormat) {
    h.securityCounter = ByteReader(bytes.subspan(80, 4)).U32();
    for (std::size_t i = 0; i < h.deltas.size(); ++i) {
      const std::size_t at = kDeltaManifestFixedSize + i * kDeltaEntrySize;
      DeltaSection& d = h.deltas[i];
      d.base = FieldBytes<32>(bytes, at);
      d.sha256 = FieldBytes<32>(bytes, at + 32);
      ByteReader where(bytes.subspan(at + 64, 8));
      d.offset = where.U32();
      d.size = where.U32();
    }
    if (!DeltaTableFits(h)) return FirmwareCheck::BadDeltaTable;
  }
  if (header != nullptr) *header = std::move(h);
  return FirmwareCheck::Ok;
}

FirmwareCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes, FirmwareHeader* header) {
  FirmwareHeader h;
  if (const FirmwareCheck c = ParseFirmwareHeader(bytes, &h); c != FirmwareCheck::Ok) return c;
  // The image alone, or the whole file with its delta sections.
  if (bytes.size() != h.imageSize() && bytes.size() != h.fileSize()) {
    return FirmwareCheck::SizeMismatch;
  }
  const auto payload = PayloadOf(bytes, h);
  if (h.signedFormat()) {
    if (Sha256(payload) != h.payloadSha256) return FirmwareCheck::BadHash;
  } else if (Crc32(payload) != h.payloadCrc) {
    return FirmwareCheck::BadCrc;
  }
  if (bytes.size() > h.imageSize()) {
    for (const DeltaSection& d : h.deltas) {
      if (Sha256(DeltaBytesOf(bytes, d)) != d.sha256) return FirmwareCheck::BadDeltaHash;
    }
  }
  if (header != nullptr) *header = std::move(h);
  return FirmwareCheck::Ok;
}

std::span<const std::uint8_t> PayloadOf(std::span<const std::uint8_t> bytes,
                                        const FirmwareHeader& header) {
  if (bytes.size() < header.imageSize()) return {};
  return bytes.subspan(header.size(), header.payloadSize);
}

std::span<const std::uint8_t> DeltaBytesOf(std::span<const std::uint8_t> bytes,
                                           const DeltaSection& section) {
  if (bytes.size() < std::uint64_t{section.offset} + section.size) return {};
  return bytes.subspan(section.offset, section.size);
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
    case FirmwareCheck::BadDeltaTable:
      return "damaged delta section table";
    case FirmwareCheck::BadDeltaHash:
      return "a delta section does not match its signed hash";
  }
  return "?";
}

}  // namespace wire
