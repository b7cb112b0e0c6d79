#include "kestra2g/wire/signing.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace wire {
namespace {

// libgcrypt wants one initialisation per process before its first use. A
// program that uses it already has done that; we then leave it alone.
void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) != 0) return;
    gcry_check_version(nullptr);
    // Only public keys are handled in the library and the device; the
    // maker's signing tool holds its secret key in ordinary memory as the
    // key file itself does.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

struct SexpFree {
  void operator()(gcry_sexp_t s) const { gcry_sexp_release(s); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpFree>;

struct MpiFree {
  void operator()(gcry_mpi_t m) const { gcry_mpi_release(m); }
};
using Mpi = std::unique_ptr<std::remove_pointer_t<gcry_mpi_t>, MpiFree>;

struct ContextFree {
  void operator()(gcry_ctx_t c) const { gcry_ctx_release(c); }
};
using Context = std::unique_ptr<std::remove_pointer_t<gcry_ctx_t>, ContextFree>;

template <typename... Args>
Sexp Build(const char* format, Args... args) {
  gcry_sexp_t s = nullptr;
  if (gcry_sexp_build(&s, nullptr, format, args...) != 0) return nullptr;
  return Sexp(s);
}

// The bytes of the named element's value, right-aligned into N bytes (an
// integer may come back without its leading zeros). Nothing when absent or
// longer than N.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> Element(gcry_sexp_t list, const char* name) {
  const Sexp token(gcry_sexp_find_token(list, name, 0));
  if (!token) return std::nullopt;
  std::size_t length = 0;
  const char* data = gcry_sexp_nth_data(token.get(), 1, &length);
  if (data == nullptr || length > N) return std::nullopt;
  std::array<std::uint8_t, N> out{};
  std::memcpy(out.data() + (N - length), data, length);
  return out;
}

Sexp SecretKeySexp(const SecretKey& secret) {
  return Build("(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))",
               static_cast<int>(secret.size()), secret.data());
}

Sexp MessageSexp(std::span<const std::uint8_t> message) {
  return Build("(data(flags eddsa)(hash-algo sha512)(value %b))", static_cast<int>(message.size()),
               message.data());
}

}  // namespace

Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
  InitialiseOnce();
  Sha256Digest digest{};
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), bytes.data(), bytes.size());
  return digest;
}

struct Sha256Stream::State {
  gcry_md_hd_t md = nullptr;
  ~State() {
    if (md != nullptr) gcry_md_close(md);
  }
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {
  InitialiseOnce();
  // Only fails without SHA-256 in libgcrypt; Digest then gives zeros, which
  // no signed hash matches.
  if (gcry_md_open(&state_->md, GCRY_MD_SHA256, 0) != 0) state_->md = nullptr;
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(std::span<const std::uint8_t> bytes) {
  if (state_->md != nullptr) gcry_md_write(state_->md, bytes.data(), bytes.size());
}

Sha256Digest Sha256Stream::Digest() const {
  Sha256Digest digest{};
  if (state_->md == nullptr) return digest;
  // gcry_md_read finalises: read from a copy, so that more may be added.
  gcry_md_hd_t copy = nullptr;
  if (gcry_md_copy(&copy, state_->md) != 0) return digest;
  std::memcpy(digest.data(), gcry_md_read(copy, GCRY_MD_SHA256), digest.size());
  gcry_md_close(copy);
  return digest;
}

void Sha256Stream::Reset() {
  if (state_->md != nullptr) gcry_md_reset(state_->md);
}

KeyId KeyIdOf(const PublicKey& key) {
  const Sha256Digest digest = Sha256(key);
  KeyId id{};
  std::copy_n(digest.begin(), id.size(), id.begin());
  return id;
}

bool Ed25519Verify(const PublicKey& key, std::span<const std::uint8_t> message,
                   const Signature& signature) {
  InitialiseOnce();
  const Sexp keySexp = Build("(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))",
                             static_cast<int>(key.size()), key.data());
  const Sexp data = MessageSexp(message);
  const Sexp sig =
      Build("(sig-val(eddsa(r %b)(s %b)))", 32, signature.data(), 32, signature.data() + 32);
  if (!keySexp || !data || !sig) return false;
  return gcry_pk_verify(sig.get(), data.get(), keySexp.get()) == 0;
}

std::optional<Signature> Ed25519Sign(const SecretKey& secret,
                                     std::span<const std::uint8_t> message) {
  InitialiseOnce();
  const Sexp keySexp = SecretKeySexp(secret);
  const Sexp data = MessageSexp(message);
  if (!keySexp || !data) return std::nullopt;
  gcry_sexp_t raw = nullptr;
  if (gcry_pk_sign(&raw, data.get(), keySexp.get()) != 0) return std::nullopt;
  const Sexp sig(raw);
  const auto r = Element<32>(sig.get(), "r");
  const auto s = Element<32>(sig.get(), "s");
  if (!r || !s) return std::nullopt;
  Signature out{};
  std::copy(r->begin(), r->end(), out.begin());
  std::copy(s->begin(), s->end(), out.begin() + 32);
  return out;
}

std::optional<PublicKey> Ed25519PublicKey(const SecretKey& secret) {
  InitialiseOnce();
  const Sexp keySexp = SecretKeySexp(secret);
  if (!keySexp) return std::nullopt;
  gcry_ctx_t raw = nullptr;
  if (gcry_mpi_ec_new(&raw, keySexp.get(), nullptr) != 0) return std::nullopt;
  const Context context(raw);
  // "q@eddsa" is the public key in RFC 8032 encoding, derived from d.
  const Mpi q(gcry_mpi_ec_get_mpi("q@eddsa", context.get(), 1));
  if (!q) return std::nullopt;
  unsigned int bits = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(gcry_mpi_get_opaque(q.get(), &bits));
  if (bytes == nullptr || bits != 8 * 32) return std::nullopt;
  PublicKey key{};
  std::copy_n(bytes, key.size(), key.begin());
  return key;
}

std::optional<KeyPair> Ed25519Generate() {
  InitialiseOnce();
  KeyPair pair{};
  gcry_randomize(pair.secret.data(), pair.secret.size(), GCRY_VERY_STRONG_RANDOM);
  const auto publicKey = Ed25519PublicKey(pair.secret);
  if (!publicKey) return std::nullopt;
  pair.publicKey = *publicKey;
  return pair;
}

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(std::string_view hex) {
  if (hex.size() != 2 * N) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::array<std::uint8_t, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    const int hi = digit(hex[2 * i]);
    const int lo = digit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return out;
}

template std::optional<std::array<std::uint8_t, 32>> FromHex<32>(std::string_view);
template std::optional<std::array<std::uint8_t, 64>> FromHex<64>(std::string_view);
template std::optional<std::array<std::uint8_t, 8>> FromHex<8>(std::string_view);

}  // namespace wire
