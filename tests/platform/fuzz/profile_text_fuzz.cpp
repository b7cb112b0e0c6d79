// libFuzzer target: a settings file as the profile reader and writer see it,
// with the section, key and value asked for. Built by scripts/fuzz.
// Input: section NUL key NUL value NUL file text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/profile_text.h"

namespace {

// Names and values the program writes: printable, no blanks at either end,
// nothing the reader takes for a comment, a section, an '=' or quotes.
bool Plain(std::string_view s, std::string_view banned) {
  if (s.empty() || s.front() == ' ' || s.back() == ' ') return false;
  for (const char c : s) {
    if (c < ' ' || c > '~' || banned.find(c) != std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  for (std::string_view& part : parts) {
    const std::size_t cut = input.find('\0');
    if (cut == std::string_view::npos) return 0;
    part = input.substr(0, cut);
    input.remove_prefix(cut + 1);
  }
  const auto [section, key, value] = parts;
  const std::string_view text = input;

  if (const auto found = platform::FindProfileValue(text, section, key)) {
    // A value found is a piece of the text.
    if (found->data() < text.data() || found->data() + found->size() > text.data() + text.size())
      __builtin_trap();
    (void)platform::ProfileValueToInt(*found, 7);
  }
  (void)platform::ProfileValueToInt(value, -1);
  const std::string written = platform::WithProfileValue(text, section, key, value);

  // What the program writes, it reads back, whatever else the file holds.
  if (Plain(section, "[]") && Plain(key, "=[;#") && Plain(value, "\"'")) {
    const auto back = platform::FindProfileValue(written, section, key);
    if (!back || *back != value) __builtin_trap();
    // Writing the same value again changes nothing.
    if (platform::WithProfileValue(written, section, key, value) != written) __builtin_trap();
  }
  return 0;
}
