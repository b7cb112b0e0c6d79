#pragma once
// The four device families the program serves and every constant that
// differs between them. Everything else takes its per-family values from
// kFamilies; nothing repeats them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class DeviceFamily : std::uint8_t { HLX700 = 0, MV5100 = 1, TQ640 = 2, KII = 3 };

inline constexpr int kFamilyCount = 4;

// The examination order: wherever families are looked at in turn, this order,
// and where one must be picked from several, the earlier one wins.
inline constexpr std::array<DeviceFamily, kFamilyCount> kExaminationOrder = {
    DeviceFamily::HLX700, DeviceFamily::MV5100, DeviceFamily::TQ640, DeviceFamily::KII};

// Index of a family in per-family arrays (examination order, not device code).
constexpr int FamilyIndex(DeviceFamily f) { return static_cast<int>(f); }

// The device library's "no family decided".
inline constexpr std::int32_t kNoDeviceCode = -1;

struct FamilyInfo {
  DeviceFamily family;
  std::int32_t deviceCode;                           // how the device library names the family
  std::string_view fileMask;                         // firmware file searched beside the program
  std::array<std::string_view, 3> acceptedPrefixes;  // unused slots are empty
  std::string_view bootId;            // five characters after "OEM " in the boot text
  std::string_view productKey;        // must occur in the product text
  std::string_view displayName;       // what the user sees and chooses
  std::string_view introductionLine;  // information panel
  std::string_view supportedDeviceLine;
  std::string_view eventName;      // completion event, system-wide
  std::string_view libraryPrefix;  // prefix of the per-family library functions
};

// Columns: family, device code, file mask, accepted prefixes (compared in this
// order), boot ID, product key, display name, introduction line,
// supported-device line, completion event name, library function prefix.
inline constexpr std::array<FamilyInfo, kFamilyCount> kFamilies = {{
    {DeviceFamily::HLX700,
     0,
     "HLX700*.bin",
     {"HLX700", "", ""},
     "35243",
     "HLX700",
     "HLX700",
     "This is the Vantrel HLX700 firmware.\n",
     "    - Vantrel HLX700\n",
     "Vantrel NVB HLX700 Reflint",
     "HLX700_"},
    {DeviceFamily::MV5100,
     2,
     "MV5100*.bin",
     {"MV5100", "MV5100A", "MV5100U1S"},
     "45323",
     "MV5100",
     "MV5100",
     "This is the Dorlund MV5100 Firmware.\n",
     "    - Dorlund MV5100\n",
     "Vantrel NVB MV5100 Reflint",
     "MV5100_"},
    {DeviceFamily::TQ640,
     1,
     "TQ640*.bin",
     {"TQ640", "", ""},
     "35243",
     "TQ640",
     "TQ640",
     "This is the Vantrel TQ640 Firmware.\n",
     "    - Vantrel TQ640\n",
     "Vantrel NVB TQ640 Reflint",
     "TQ640_"},
    {DeviceFamily::KII,
     3,
     "KII*.bin",
     {"KII", "", ""},
     "     ",
     "KII",
     "Kestra II",
     "This is the Vantrel Kestra II Firmware.\n",
     "    - Vantrel Kestra II\n",
     "Vantrel NVB KII Reflint",
     "KII_"},
}};

constexpr const FamilyInfo& Family(DeviceFamily f) { return kFamilies[FamilyIndex(f)]; }

// Families that one boot ID leaves undecided, told apart by their product
// text alone: a product miss hands the device on to the next of the chain.
inline constexpr std::array<DeviceFamily, 3> kProductChain = {
    DeviceFamily::HLX700, DeviceFamily::TQ640, DeviceFamily::KII};
static_assert(Family(kProductChain[0]).bootId == Family(kProductChain[1]).bootId);

// Texts shared by all families in the information panel.
inline constexpr std::string_view kFirmwareVersionLabel = "  -  Firmware version : ";
inline constexpr std::string_view kFamilySeparator = "\n\n";
inline constexpr std::string_view kSupportedDevicesHeading = "\nSupported devices: \n";

// Case-insensitive comparison over the whole name; first match in
// examination order. "KII" is no display name.
std::optional<DeviceFamily> FamilyFromDisplayName(std::string_view name);

// Families whose boot ID equals the given one exactly, in examination order.
std::vector<DeviceFamily> FamiliesWithBootId(std::string_view bootId);

// Family whose device library code is the given one.
std::optional<DeviceFamily> FamilyFromDeviceCode(std::int32_t code);

// Family whose product key is exactly `key` ("HLX700", "KII"): the name
// the maker's tools and firmware files use.
std::optional<DeviceFamily> FamilyFromProductKey(std::string_view key);
