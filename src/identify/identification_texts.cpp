#include "identify/identification_texts.h"

namespace {

// The first five bytes of an application text are not part of the version.
constexpr std::size_t kApplicationTextSkip = 5;
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

}  // namespace

bool MatchesOemBootId(std::string_view text, std::string_view bootId) {
  const std::size_t marker = text.find(kOemMarker);
  if (marker == std::string_view::npos) return false;
  // substr clips at the end of the text, so a short tail simply differs.
  return text.substr(marker + kOemMarker.size(), bootId.size()) == bootId;
}

bool ContainsKey(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

std::string VersionFromApplicationText(std::string_view text) {
  if (text.size() <= kApplicationTextSkip) return {};
  std::string_view version = text.substr(kApplicationTextSkip);
  const std::size_t last = version.find_last_not_of(kWhiteSpace);
  if (last == std::string_view::npos) return {};
  version = version.substr(0, last + 1);
  version.remove_prefix(version.find_first_not_of(kWhiteSpace));
  return std::string(version);
}
