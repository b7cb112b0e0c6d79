#include "catalogue/version_naming.h"

#include <algorithm>

#include "platform/file_access.h"

void MarkAvailableFamilies(const FirmwareCatalogue& catalogue, UpdateRunState& state) {
  for (DeviceFamily family : kExaminationOrder)
    if (!catalogue.GetFirmwarePath(family).empty()) SetFlag(state.available[FamilyIndex(family)]);
}

namespace {

bool AllDigits(std::string_view part) {
  return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
}

// The next part of a version from `at` on, and `at` past its dot.
std::string_view NextPart(std::string_view version, std::size_t& at) {
  if (at >= version.size()) return "0";
  const std::size_t dot = std::min(version.find('.', at), version.size());
  const std::string_view part = version.substr(at, dot - at);
  at = dot + 1;
  return part;
}

}  // namespace

std::strong_ordering CompareVersions(std::string_view a, std::string_view b) {
  std::size_t atA = 0, atB = 0;
  while (atA < a.size() || atB < b.size()) {
    std::string_view partA = NextPart(a, atA), partB = NextPart(b, atB);
    if (AllDigits(partA) && AllDigits(partB)) {
      // As numbers of any length: without leading zeros, the longer is larger.
      partA.remove_prefix(std::min(partA.find_first_not_of('0'), partA.size()));
      partB.remove_prefix(std::min(partB.find_first_not_of('0'), partB.size()));
      if (const auto order = partA.size() <=> partB.size(); order != 0) return order;
    }
    if (const auto order = partA <=> partB; order != 0) return order;
  }
  return std::strong_ordering::equal;
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
