#pragma once
// Key files of the signing tool, one line of text each:
//   reflint-ed25519-secret-key <64 hex digits>   (the RFC 8032 seed)
//   reflint-ed25519-public-key <64 hex digits>
// The build reads the public ones to know which keys to trust.

#include <optional>
#include <string>
#include <string_view>

#include "kestra2g/wire/signing.h"

namespace wire {

inline constexpr std::string_view kSecretKeyTag = "reflint-ed25519-secret-key";
inline constexpr std::string_view kPublicKeyTag = "reflint-ed25519-public-key";

std::string SecretKeyFileText(const SecretKey& key);
std::string PublicKeyFileText(const PublicKey& key);
// Nothing when the text is not such a key file.
std::optional<SecretKey> ParseSecretKeyFile(std::string_view text);
std::optional<PublicKey> ParsePublicKeyFile(std::string_view text);

}  // namespace wire
