#include "kestra2g/wire/key_file.h"

namespace wire {
namespace {

std::optional<std::array<std::uint8_t, 32>> ParseLine(std::string_view text, std::string_view tag) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  if (!text.starts_with(tag) || text.size() != tag.size() + 1 + 64 || text[tag.size()] != ' ') {
    return std::nullopt;
  }
  return FromHex<32>(text.substr(tag.size() + 1));
}

}  // namespace

std::string SecretKeyFileText(const SecretKey& key) {
  return std::string(kSecretKeyTag) + " " + HexText(key) + "\n";
}

std::string PublicKeyFileText(const PublicKey& key) {
  return std::string(kPublicKeyTag) + " " + HexText(key) + "\n";
}

std::optional<SecretKey> ParseSecretKeyFile(std::string_view text) {
  return ParseLine(text, kSecretKeyTag);
}

std::optional<PublicKey> ParsePublicKeyFile(std::string_view text) {
  return ParseLine(text, kPublicKeyTag);
}

}  // namespace wire
