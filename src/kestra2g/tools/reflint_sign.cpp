// reflint-sign: the maker's tool for signed firmware files.
//   reflint-sign keygen KEYFILE
//   reflint-sign sign --key KEYFILE --family HLX700 --version 2.1.0 PAYLOAD [-o FILE]
//                     [--security-counter N] [--delta-from OLD.bin ...]
//   reflint-sign verify FILE [--key PUBFILE]
//   reflint-sign show FILE

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/version_naming.h"
#include "core/device_family.h"
#include "kestra2g/tools/delta_codec.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/firmware_signature.h"
#include "kestra2g/wire/key_file.h"
#include "platform/error.h"
#include "platform/file_access.h"
#include "platform/path_text.h"

namespace {

int Error(const std::string& message) {
  std::fprintf(stderr, "reflint-sign: %s\n", message.c_str());
  return 1;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Creates a new file with the given mode; never replaces one.
platform::Result<> WriteNewFile(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return platform::Fail(platform::LastSystemFailure(path, "create"));
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int saved = errno;
  if (::close(fd) != 0 || !written) {
    platform::Error error = platform::SystemFailure(path, "write", written ? errno : saved);
    ::unlink(path.c_str());
    return platform::Fail(std::move(error));
  }
  return {};
}

platform::Result<> WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string part = path + ".part";
  std::ofstream out(part, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out || std::rename(part.c_str(), path.c_str()) != 0) {
    platform::Error error = platform::LastSystemFailure(path, "write");
    std::remove(part.c_str());
    return platform::Fail(std::move(error));
  }
  return {};
}

std::string PublicKeyPath(const std::string& keyFile) {
  std::filesystem::path p(keyFile);
  if (p.extension() == ".key") return p.replace_extension(".pub").string();
  return keyFile + ".pub";
}

int KeyGen(const std::string& keyFile) {
  const std::string pubFile = PublicKeyPath(keyFile);
  if (std::filesystem::exists(pubFile)) return Error(pubFile + " exists already; nothing written");
  const auto pair = wire::Ed25519Generate();
  if (!pair) return Error("libgcrypt could not make a key");
  if (auto w = WriteNewFile(keyFile, wire::SecretKeyFileText(pair->secret), 0600); !w) {
    return Error(w.error().Describe());
  }
  if (auto w = WriteNewFile(pubFile, wire::PublicKeyFileText(pair->publicKey), 0644); !w) {
    return Error(w.error().Describe());
  }
  std::printf("secret key %s (keep it secret, never commit it)\npublic key %s\nkey id %s\n",
              keyFile.c_str(), pubFile.c_str(),
              wire::HexText(wire::KeyIdOf(pair->publicKey)).c_str());
  return 0;
}

// A delta section from an earlier signed file of the same family: its base
// is that file's payload.
struct DeltaSource {
  std::string path;
  wire::Sha256Digest base{};
  std::vector<std::uint8_t> bytes;
};

platform::Result<DeltaSource> DeltaFrom(const std::string& path, const FamilyInfo& family,
                                        std::uint32_t counter,
                                        std::span<const std::uint8_t> payload) {
  auto refuse = [&](const std::string& why) {
    return platform::Fail(platform::Refusal({}, {}, "--delta-from " + path + ": " + why));
  };
  const auto file = platform::ReadFileBytes(path);
  if (!file) return platform::Fail(file.error());
  wire::FirmwareHeader h;
  if (const auto c = wire::CheckFirmwareImage(*file, &h); c != wire::FirmwareCheck::Ok) {
    return refuse(wire::FirmwareCheckText(c));
  }
  if (!h.signedFormat()) return refuse("not a signed firmware file");
  if (h.deviceCode != family.deviceCode) {
    return refuse("a file of " + h.familyName + ", not of " + std::string(family.productKey));
  }
  // A remote running that image holds its counter: it would refuse this file.
  if (h.securityCounter > counter) {
    return refuse("its security counter " + std::to_string(h.securityCounter) + " is above " +
                  std::to_string(counter));
  }
  const auto old = wire::PayloadOf(*file, h);
  if (std::ranges::equal(old, payload)) return refuse("it holds this very payload");
  auto bytes = delta::Make(old, payload);
  if (!bytes) return platform::Fail(bytes.error());
  return DeltaSource{path, h.payloadSha256, std::move(*bytes)};
}

int Sign(const std::string& keyFile, const std::string& family, const std::string& version,
         const std::string& payloadFile, std::string output,
         std::optional<std::uint32_t> securityCounter, const std::vector<std::string>& deltaFrom) {
  const auto named = FamilyFromProductKey(family);
  if (!named) return Error("--family: HLX700, MV5100, TQ640 or KII");
  const FamilyInfo* info = &Family(*named);
  // The version must come back unchanged from the file's name, which is
  // where the program reads it.
  const std::string name = FirmwareFileName(info->productKey, version);
  if (version.empty() || version.size() > 19 || VersionFromFileName(name) != version ||
      version.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ.-") != std::string::npos) {
    return Error("--version: up to 19 letters, digits, '.' and '-', e.g. 2.1.0");
  }
  const auto keyText = platform::ReadFileBytes(keyFile);
  if (!keyText) return Error(keyText.error().Describe());
  const auto secret = wire::ParseSecretKeyFile(AsText(*keyText));
  if (!secret) return Error(keyFile + " is not a secret key file of reflint-sign");
  const auto publicKey = wire::Ed25519PublicKey(*secret);
  if (!publicKey) return Error("libgcrypt refused the key in " + keyFile);
  const auto payload = platform::ReadFileBytes(payloadFile);
  if (!payload) return Error(payload.error().Describe());
  if (payload->empty()) return Error(payloadFile + " is empty");
  // Format 2 unless a counter or a delta asks for format 3.
  const bool format3 = securityCounter.has_value() || !deltaFrom.empty();
  const std::uint32_t counter = securityCounter.value_or(0);
  if (deltaFrom.size() > wire::kMaxDeltaSections) {
    return Error("at most " + std::to_string(wire::kMaxDeltaSections) + " --delta-from files");
  }
  std::vector<DeltaSource> sources;
  for (const std::string& path : deltaFrom) {
    auto source = DeltaFrom(path, *info, counter, *payload);
    if (!source) return Error(source.error().Describe());
    const bool twice =
        std::ranges::any_of(sources, [&](const DeltaSource& s) { return s.base == source->base; });
    if (twice) return Error("--delta-from " + path + ": its payload is another file's already");
    sources.push_back(std::move(*source));
  }
  std::vector<wire::DeltaInput> deltas;
  for (const DeltaSource& s : sources) deltas.push_back({s.base, s.bytes});
  const auto code = static_cast<std::uint8_t>(info->deviceCode);
  const auto file = format3
                        ? wire::BuildDeltaFirmwareFile(code, info->productKey, version, *payload,
                                                       counter, deltas, {*secret, *publicKey})
                        : wire::BuildSignedFirmwareFile(code, info->productKey, version, *payload,
                                                        {*secret, *publicKey});
  if (!file) return Error("libgcrypt could not sign");
  if (output.empty()) output = name;
  if (VersionFromFileName(platform::NamePart(output)) != version) {
    std::fprintf(stderr,
                 "reflint-sign: warning: the name %s does not give version %s; the "
                 "device library will refuse it (name it %s)\n",
                 std::string(platform::NamePart(output)).c_str(), version.c_str(), name.c_str());
  }
  if (auto w = WriteFile(output, *file); !w) return Error(w.error().Describe());
  std::printf("%s: %s %s, %zu bytes, key %s\n", output.c_str(), family.c_str(), version.c_str(),
              payload->size(), wire::HexText(wire::KeyIdOf(*publicKey)).c_str());
  if (format3) std::printf("  security counter %u\n", counter);
  for (const DeltaSource& s : sources) {
    std::printf("  delta from %s: %zu bytes (%.1f %% of the payload)\n",
                std::string(platform::NamePart(s.path)).c_str(), s.bytes.size(),
                100.0 * static_cast<double>(s.bytes.size()) / static_cast<double>(payload->size()));
  }
  return 0;
}

int Show(const std::string& path) {
  const auto file = platform::ReadFileBytes(path);
  if (!file) return Error(file.error().Describe());
  wire::FirmwareHeader h;
  if (const auto c = wire::ParseFirmwareHeader(*file, &h); c != wire::FirmwareCheck::Ok) {
    return Error(path + ": " + wire::FirmwareCheckText(c));
  }
  std::printf("format        %u (%s)\n", h.format, h.signedFormat() ? "signed" : "unsigned");
  std::printf("family        %s (device code %u)\n", h.familyName.c_str(), h.deviceCode);
  std::printf("version       %s\n", h.version.c_str());
  std::printf("payload size  %u bytes\n", h.payloadSize);
  if (h.signedFormat()) {
    std::printf("payload hash  sha-256 %s\n", wire::HexText(h.payloadSha256).c_str());
    std::printf("signing key   %s\n", wire::HexText(h.keyId).c_str());
    std::printf("signature     ed25519 %s\n", wire::HexText(h.signature).c_str());
    if (h.format == wire::kDeltaFormat) {
      std::printf("security counter %u\n", h.securityCounter);
      std::printf("delta sections %zu\n", h.deltas.size());
      for (const wire::DeltaSection& d : h.deltas) {
        std::printf("  from sha-256 %s: %u bytes at %u, sha-256 %s\n",
                    wire::HexText(d.base).c_str(), d.size, d.offset,
                    wire::HexText(d.sha256).c_str());
      }
    }
  } else {
    std::printf("payload crc   %08x\n", h.payloadCrc);
  }
  return 0;
}

int Verify(const std::string& path, const std::string& pubFile) {
  const auto file = platform::ReadFileBytes(path);
  if (!file) return Error(file.error().Describe());
  wire::FirmwareHeader h;
  if (const auto c = wire::CheckFirmwareImage(*file, &h); c != wire::FirmwareCheck::Ok) {
    return Error(path + ": " + wire::FirmwareCheckText(c));
  }
  std::vector<wire::KeySlot> slots;
  if (pubFile.empty()) {
    slots.assign(wire::BuiltInKeySlots().begin(), wire::BuiltInKeySlots().end());
  } else {
    const auto text = platform::ReadFileBytes(pubFile);
    if (!text) return Error(text.error().Describe());
    const auto key = wire::ParsePublicKeyFile(AsText(*text));
    if (!key) return Error(pubFile + " is not a public key file of reflint-sign");
    slots.push_back({*key, false, pubFile});
  }
  const auto check = wire::CheckSignature(*file, h, slots);
  if (check != wire::SignatureCheck::Ok) {
    return Error(path + ": " + wire::SignatureCheckText(check) +
                 (h.signedFormat() ? " (key " + wire::HexText(h.keyId) + ")" : ""));
  }
  const auto named = VersionFromFileName(platform::NamePart(path));
  if (named != h.version) {
    return Error(path + ": its name says " + named.value_or("no version") + ", it holds " +
                 h.version);
  }
  std::printf("%s: good, %s %s signed by %s\n", path.c_str(), h.familyName.c_str(),
              h.version.c_str(), wire::HexText(h.keyId).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Signs firmware files for Reflint and checks them."};
  app.require_subcommand(1);

  std::string keyFile, family, version, payload, output, file, pubFile;
  std::optional<std::uint32_t> securityCounter;
  std::vector<std::string> deltaFrom;

  CLI::App* keygen = app.add_subcommand("keygen",
                                        "Make a key pair: KEYFILE (secret, mode 0600) "
                                        "and its public key beside it (.pub)");
  keygen->add_option("KEYFILE", keyFile, "the secret key file to create")->required();

  CLI::App* sign = app.add_subcommand("sign", "Sign a payload into a firmware file");
  sign->add_option("--key", keyFile, "secret key file")->required();
  sign->add_option("--family", family, "HLX700, MV5100, TQ640 or KII")->required();
  sign->add_option("--version", version, "version text, e.g. 2.1.0")->required();
  sign->add_option("PAYLOAD", payload, "the firmware image to sign")->required();
  sign->add_option("-o,--output", output,
                   "the firmware file (default: its proper name, e.g. HLX700_V_2_1_0.bin)");
  sign->add_option("--security-counter", securityCounter,
                   "security counter (format 3): remotes that ran a higher one refuse the file");
  sign->add_option("--delta-from", deltaFrom,
                   "an earlier signed file of the family, repeatable: a delta section from its "
                   "payload (format 3)")
      ->type_name("OLD.bin")
      ->allow_extra_args(false);

  CLI::App* verify =
      app.add_subcommand("verify", "Check a firmware file's signature, hash and name");
  verify->add_option("FILE", file, "the firmware file")->required();
  verify->add_option("--key", pubFile, "public key file (default: the keys built in)");

  CLI::App* show = app.add_subcommand("show", "Print a firmware file's manifest");
  show->add_option("FILE", file, "the firmware file")->required();

  CLI11_PARSE(app, argc, argv);
  if (keygen->parsed()) return KeyGen(keyFile);
  if (sign->parsed()) {
    return Sign(keyFile, family, version, payload, output, securityCounter, deltaFrom);
  }
  if (verify->parsed()) return Verify(file, pubFile);
  return Show(file);
}
