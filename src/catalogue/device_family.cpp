#include "catalogue/device_family.h"

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}
}  // namespace

std::optional<DeviceFamily> FamilyFromDisplayName(std::string_view name) {
  for (const FamilyInfo& info : kFamilies)
    if (EqualIgnoringCase(info.displayName, name)) return info.family;
  return std::nullopt;
}

std::vector<DeviceFamily> FamiliesWithBootId(std::string_view bootId) {
  std::vector<DeviceFamily> found;
  for (const FamilyInfo& info : kFamilies)
    if (info.bootId == bootId) found.push_back(info.family);
  return found;
}

std::optional<DeviceFamily> FamilyFromDeviceCode(std::int32_t code) {
  for (const FamilyInfo& info : kFamilies)
    if (info.deviceCode == code) return info.family;
  return std::nullopt;
}
