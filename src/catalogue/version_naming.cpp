#include "catalogue/version_naming.h"

#include "platform/file_access.h"

void MarkAvailableFamilies(const FirmwareCatalogue& catalogue, UpdateRunState& state) {
  for (DeviceFamily family : kExaminationOrder)
    if (!catalogue.GetFirmwarePath(family).empty()) SetFlag(state.available[FamilyIndex(family)]);
}

std::optional<std::string> VersionFromFileName(std::string_view fileName) {
  const std::size_t marker = fileName.find(kVersionMarker);
  if (marker == std::string_view::npos) return std::nullopt;
  // Everything between the marker and the extension's four characters.
  const std::size_t begin = marker + kVersionMarker.size();
  const std::size_t end = fileName.size() >= 4 ? fileName.size() - 4 : 0;
  std::string version;
  for (std::size_t i = begin; i < end; ++i) version += fileName[i] == '_' ? '.' : fileName[i];
  return version;
}

std::string FirmwareFileName(std::string_view familyPrefix, std::string_view version) {
  std::string name = std::string(familyPrefix) + "_" + std::string(kVersionMarker);
  for (const char c : version) name += c == '.' ? '_' : c;
  return name + ".bin";
}

bool HasAcceptedPrefix(std::string_view name, const UpdateRunState& state) {
  for (const FamilyInfo& info : kFamilies) {
    if (!state.IsAvailable(info.family)) continue;
    for (std::string_view prefix : info.acceptedPrefixes)
      if (!prefix.empty() && name.starts_with(prefix)) return true;
  }
  return false;
}

std::string FolderOf(std::string_view path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::optional<std::string> GetFirmwareVersionText(std::string_view path,
                                                  std::string_view exeDirectory,
                                                  UpdateRunState& state) {
  const std::string_view fileName =
      path.size() > exeDirectory.size() ? path.substr(exeDirectory.size()) : std::string_view{};

  if (!platform::CanOpenForReading(std::string(path))) return std::nullopt;
  if (fileName.empty() || !HasAcceptedPrefix(fileName, state)) return std::nullopt;
  const auto version = VersionFromFileName(fileName);
  if (version) SetFlag(state.validFirmware);
  return version;
}
