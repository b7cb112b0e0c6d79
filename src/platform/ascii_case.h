#pragma once
// Comparisons without regard to case, for the single-byte texts the program
// handles (file names, display names, resource keys). Only A-Z fold, as they
// do on Windows for these names.

#include <cstddef>
#include <string_view>

namespace platform {

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace platform
