#include <charconv>
#include <cstdint>

#include "platform/config_home.h"
#include "platform/exe_path.h"
#include "platform/profile.h"

namespace platform {

Profile Profile::ForThisProgram() {
  return Profile(AppConfigDirectory() + PathSeparator() + ExecutableBaseName() + ".ini");
}

std::optional<int> ParseProfileInt(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace platform
