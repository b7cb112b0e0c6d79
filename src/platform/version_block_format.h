#pragma once
// Building and walking VS_VERSIONINFO blocks without the Windows API.
// Building is constexpr so that the block can be placed in the executable
// as constant data.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::version_format {

struct FixedVersion {
  std::uint16_t major, minor, patch, build;
};

struct StringEntry {
  std::string_view key;
  std::string_view value;
};

namespace detail {

constexpr void PutWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void AppendWord(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
constexpr void AppendDword(std::vector<std::uint8_t>& out, std::uint32_t v) {
  AppendWord(out, static_cast<std::uint16_t>(v & 0xFFFF));
  AppendWord(out, static_cast<std::uint16_t>(v >> 16));
}
constexpr void Align(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
// Text as UTF-16 with its terminating NUL (the texts here are ASCII).
constexpr void AppendText(std::vector<std::uint8_t>& out, std::string_view text) {
  for (char c : text) AppendWord(out, static_cast<std::uint8_t>(c));
  AppendWord(out, 0);
}

// Starts a node: header with lengths to be filled in by EndNode.
constexpr std::size_t BeginNode(std::vector<std::uint8_t>& out, std::string_view key,
                                std::uint16_t valueLength, bool text) {
  Align(out);
  const std::size_t start = out.size();
  AppendWord(out, 0);
  AppendWord(out, valueLength);
  AppendWord(out, text ? 1 : 0);
  AppendText(out, key);
  Align(out);
  return start;
}
constexpr void EndNode(std::vector<std::uint8_t>& out, std::size_t start) {
  PutWord(out, start, static_cast<std::uint16_t>(out.size() - start));
}

}  // namespace detail

// A complete block: fixed file and product version, one string table under
// languageKey, and the matching translation entry.
constexpr std::vector<std::uint8_t> BuildVersionBlock(FixedVersion version,
                                                      std::string_view languageKey,
                                                      std::span<const StringEntry> strings,
                                                      std::uint16_t language,
                                                      std::uint16_t codePage) {
  using namespace detail;
  std::vector<std::uint8_t> out;
  const std::size_t root = BeginNode(out, "VS_VERSION_INFO", 52, false);
  const std::uint32_t ms = (std::uint32_t{version.major} << 16) | version.minor;
  const std::uint32_t ls = (std::uint32_t{version.patch} << 16) | version.build;
  for (std::uint32_t v :
       {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u}) {
    AppendDword(out, v);
  }
  const std::size_t stringInfo = BeginNode(out, "StringFileInfo", 0, true);
  const std::size_t table = BeginNode(out, languageKey, 0, true);
  for (const StringEntry& entry : strings) {
    const std::size_t node =
        BeginNode(out, entry.key, static_cast<std::uint16_t>(entry.value.size() + 1), true);
    AppendText(out, entry.value);
    EndNode(out, node);
  }
  EndNode(out, table);
  EndNode(out, stringInfo);
  const std::size_t varInfo = BeginNode(out, "VarFileInfo", 0, true);
  const std::size_t var = BeginNode(out, "Translation", 4, false);
  AppendWord(out, language);
  AppendWord(out, codePage);
  EndNode(out, var);
  EndNode(out, varInfo);
  EndNode(out, root);
  return out;
}

// Walks the block as VerQueryValueA does for a text value.
std::optional<std::string> FindString(std::span<const std::uint8_t> block,
                                      std::string_view subBlock);

}  // namespace platform::version_format
