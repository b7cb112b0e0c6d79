#pragma once
// Numbers in the emulator's options and fault specs: decimal digits only, as
// scripts write them (no "0x10", no octal "010", no sign or spaces).

#include <charconv>
#include <optional>
#include <string_view>

namespace emulator {

// The number `text` spells, when it lies in [lo, hi].
inline std::optional<long long> Decimal(std::string_view text, long long lo, long long hi) {
  long long v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || v < lo || v > hi) {
    return std::nullopt;
  }
  return v;
}

}  // namespace emulator
