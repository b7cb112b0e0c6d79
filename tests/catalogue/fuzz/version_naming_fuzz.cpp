// libFuzzer target: the version a firmware file's name gives, and the
// prefix test on names found beside the program. Built by scripts/fuzz.
// Input: one byte of available families, then the file name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/version_naming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  UpdateRunState state;
  for (const FamilyInfo& info : kFamilies) {
    if ((data[0] >> FamilyIndex(info.family) & 1) != 0)
      SetFlag(state.available[FamilyIndex(info.family)]);
  }
  const std::string_view name(reinterpret_cast<const char*>(data + 1), size - 1);

  const auto version = VersionFromFileName(name);
  if (version.has_value() != (name.find(kVersionMarker) != std::string_view::npos))
    __builtin_trap();
  if (version && version->size() >= name.size()) __builtin_trap();
  (void)HasAcceptedPrefix(name, state);

  // A file named for a family and a version names that version again, and
  // passes the prefix test once its family is available.
  for (const FamilyInfo& info : kFamilies) {
    const std::string file = FirmwareFileName(info.productKey, name);
    std::string shown(name);
    for (char& c : shown) c = c == '_' ? '.' : c;
    if (VersionFromFileName(file) != shown) __builtin_trap();
    if (state.IsAvailable(info.family) && !HasAcceptedPrefix(file, state)) __builtin_trap();
  }
  return 0;
}
