#include "core/device_family.h"

#include "platform/ascii_case.h"

std::optional<DeviceFamily> FamilyFromDisplayName(std::string_view name) {
  for (const FamilyInfo& info : kFamilies)
    if (platform::EqualIgnoringAsciiCase(info.displayName, name)) return info.family;
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

std::optional<DeviceFamily> FamilyFromProductKey(std::string_view key) {
  for (const FamilyInfo& info : kFamilies)
    if (info.productKey == key) return info.family;
  return std::nullopt;
}
