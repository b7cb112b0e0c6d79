#include "kestra2g/wire/firmware_signature.h"

#include <algorithm>

namespace wire {

SignatureCheck CheckSignature(std::span<const std::uint8_t> bytes, const FirmwareHeader& header,
                              std::span<const KeySlot> slots) {
  if (!header.signedFormat() || bytes.size() < header.size()) return SignatureCheck::NotSigned;
  const auto slot = std::find_if(slots.begin(), slots.end(),
                                 [&](const KeySlot& s) { return KeyIdOf(s.key) == header.keyId; });
  if (slot == slots.end()) return SignatureCheck::UnknownKey;
  if (slot->revoked) return SignatureCheck::RevokedKey;
  if (!Ed25519Verify(slot->key, bytes.first(header.manifestSize), header.signature)) {
    return SignatureCheck::BadSignature;
  }
  return SignatureCheck::Ok;
}

const char* SignatureCheckText(SignatureCheck c) {
  switch (c) {
    case SignatureCheck::Ok:
      return "signed by a trusted key";
    case SignatureCheck::NotSigned:
      return "not signed";
    case SignatureCheck::UnknownKey:
      return "signed by an unknown key";
    case SignatureCheck::RevokedKey:
      return "signed by a revoked key";
    case SignatureCheck::BadSignature:
      return "signature does not match";
  }
  return "?";
}

std::string KeySlotsText(std::span<const KeySlot> slots) {
  if (slots.empty()) return "none";
  std::string text;
  for (const KeySlot& s : slots) {
    if (!text.empty()) text += ", ";
    text += HexText(KeyIdOf(s.key)) + " (" + s.name + (s.revoked ? ", revoked)" : ")");
  }
  return text;
}

}  // namespace wire
