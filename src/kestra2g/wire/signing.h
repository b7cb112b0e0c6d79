#pragma once
// Ed25519 signatures and SHA-256 digests for signed firmware, from libgcrypt:
// the same library on Linux and in both Windows builds. Nothing here is our
// own cryptography; this only packs bytes into libgcrypt's S-expressions.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wire {

using PublicKey = std::array<std::uint8_t, 32>;  // RFC 8032 encoding
using SecretKey = std::array<std::uint8_t, 32>;  // the RFC 8032 seed
using Signature = std::array<std::uint8_t, 64>;
using Sha256Digest = std::array<std::uint8_t, 32>;
// A key's short name: the first 8 bytes of the SHA-256 of its public key.
using KeyId = std::array<std::uint8_t, 8>;

struct KeyPair {
  SecretKey secret;
  PublicKey publicKey;
};

Sha256Digest Sha256(std::span<const std::uint8_t> bytes);

// SHA-256 of bytes that come in pieces (a stream the device takes frame by
// frame), without holding them.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  void Add(std::span<const std::uint8_t> bytes);
  // The digest of everything added since construction or the last Reset.
  Sha256Digest Digest() const;
  void Reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
KeyId KeyIdOf(const PublicKey& key);

bool Ed25519Verify(const PublicKey& key, std::span<const std::uint8_t> message,
                   const Signature& signature);
// Nothing when libgcrypt refuses (never for a well-formed key).
std::optional<Signature> Ed25519Sign(const SecretKey& secret,
                                     std::span<const std::uint8_t> message);
std::optional<PublicKey> Ed25519PublicKey(const SecretKey& secret);
// A new key pair from libgcrypt's strong random source.
std::optional<KeyPair> Ed25519Generate();

// Lower-case hex, two digits a byte.
std::string HexText(std::span<const std::uint8_t> bytes);
// Exactly N bytes from 2N hex digits (either case), nothing otherwise.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(std::string_view hex);

}  // namespace wire
