#include "kestra2g/firmware_check.h"

#include "catalogue/version_naming.h"
#include "kestra2g/failure.h"
#include "kestra2g/wire/firmware_signature.h"
#include "platform/file_access.h"
#include "platform/path_text.h"

namespace kestra2g {
namespace {

std::string FamilyText(const wire::FirmwareHeader& h) {
  return h.familyName + ", device code " + std::to_string(h.deviceCode);
}

}  // namespace

Result<CheckedFirmware> CheckFirmwareFile(const char* path, std::int32_t code) {
  // Only a regular file, no larger than any device could take: a name that
  // points at a FIFO, a device or a huge sparse file is refused at once.
  auto file =
      platform::ReadRegularFileBytes(path != nullptr ? path : "", wire::kMaxFirmwareFileSize);
  if (!file) {
    // The reason without the path: the log names no folders.
    const platform::Error& e = file.error();
    return Fail(Cause::FileCheck,
                "cannot be read (" + e.stage + ": " + (e.reason.empty() ? e.text : e.reason) + ")");
  }
  if (file->empty()) return Fail(Cause::FileCheck, "it is empty");
  wire::FirmwareHeader header;
  const auto parsed = wire::ParseFirmwareHeader(*file, &header);
  if (parsed != wire::FirmwareCheck::Ok) {
    return Fail(Cause::FileCheck, wire::FirmwareCheckText(parsed));
  }
  // Authenticity first: nothing an unsigned or foreign file says counts.
  const auto signature = wire::CheckSignature(*file, header, wire::BuiltInKeySlots());
  if (signature != wire::SignatureCheck::Ok) {
    std::string note = wire::SignatureCheckText(signature);
    if (header.signedFormat()) note += " (key " + wire::HexText(header.keyId) + ")";
    return Fail(Cause::FileCheck, note);
  }
  if (const auto whole = wire::CheckFirmwareImage(*file, nullptr);
      whole != wire::FirmwareCheck::Ok) {
    return Fail(Cause::FileCheck, wire::FirmwareCheckText(whole));
  }
  if (header.deviceCode != code) {
    return Fail(Cause::FileCheck, "made for another family (" + FamilyText(header) +
                                      "; device code " + std::to_string(code) + " asked for)");
  }
  if (header.payloadSize == 0) return Fail(Cause::FileCheck, "it holds no image");
  // The version the user confirmed came from the file's name.
  const auto named = VersionFromFileName(platform::NamePart(path));
  if (!named || *named != header.version) {
    return Fail(Cause::FileCheck,
                "its name says " + named.value_or("no version") + ", it holds " + header.version);
  }
  return CheckedFirmware{std::move(*file), std::move(header)};
}

}  // namespace kestra2g
