#pragma once
// Whose signature a firmware file carries, and whether it holds: shared by
// the device library (before the port is opened) and the device's boot
// loader (before it erases anything).

#include <span>
#include <string>
#include <string_view>

#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/signing.h"

namespace wire {

// Up to this many public keys, so a maker can roll over to a new key and
// revoke an old one without a gap.
inline constexpr std::size_t kMaxKeySlots = 4;

struct KeySlot {
  PublicKey key{};
  bool revoked = false;
  std::string name;  // what the key file was called, for the log
};

enum class SignatureCheck { Ok, NotSigned, UnknownKey, RevokedKey, BadSignature };

// Checks the signature over the manifest at the start of `bytes` (at least
// the header) against the slots. The payload's hash is CheckFirmwareImage's.
SignatureCheck CheckSignature(std::span<const std::uint8_t> bytes, const FirmwareHeader& header,
                              std::span<const KeySlot> slots);

const char* SignatureCheckText(SignatureCheck c);

// The slots built into this program (the build's trusted and revoked keys).
std::span<const KeySlot> BuiltInKeySlots();

// "1a2b3c4d5e6f7a8b (development), 0f1e2d3c4b5a6978 (old, revoked)"
std::string KeySlotsText(std::span<const KeySlot> slots);

}  // namespace wire
