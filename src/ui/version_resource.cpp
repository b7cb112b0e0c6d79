#include "ui/version_resource.h"

#ifdef _WIN32

std::size_t EmbeddedVersionBlockSize() { return 0; }

#else

#include <algorithm>
#include <array>

#include "platform/version_block_format.h"
#include "ui/version.h"

namespace {

using platform::version_format::StringEntry;

constexpr std::array<StringEntry, 7> kStrings{{
    {"CompanyName", "Reflint"},
    {"FileDescription", "Reflint firmware update"},
    {"FileVersion", REFLINT_VERSION_TEXT},
    {"InternalName", "Reflint"},
    {"OriginalFilename", "Reflint.exe"},
    {"ProductName", "Reflint"},
    {"ProductVersion", REFLINT_VERSION_TEXT},
}};

constexpr std::vector<std::uint8_t> Build() {
  return platform::version_format::BuildVersionBlock(
      {REFLINT_VERSION_MAJOR, REFLINT_VERSION_MINOR, REFLINT_VERSION_PATCH, REFLINT_VERSION_BUILD},
      REFLINT_VERSION_LANGUAGE_KEY, kStrings, 0x0409, 0x04B0);
}

constexpr std::size_t kBlockSize = Build().size();

constexpr std::array<std::uint8_t, kBlockSize> BlockBytes() {
  const std::vector<std::uint8_t> bytes = Build();
  std::array<std::uint8_t, kBlockSize> out{};
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

}  // namespace

// The section name is platform::kVersionSectionName.
__attribute__((section(".reflint_version"), used)) constexpr std::array<std::uint8_t, kBlockSize>
    kVersionBlock = BlockBytes();

std::size_t EmbeddedVersionBlockSize() { return kVersionBlock.size(); }

#endif
