#include "platform/folder_search.h"

#include <algorithm>

#include "platform/ascii_case.h"
#include "platform/path_text.h"

namespace platform {

bool WildcardMatch(std::string_view mask, std::string_view name) {
  // Greedy scan; on a mismatch, let the most recent '*' swallow one more
  // character and retry from there. Linear in practice, never recursive.
  std::size_t m = 0, n = 0;
  std::size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::optional<std::string> FindFirstMatch(std::string_view pattern) {
  const std::string folder(FolderPart(pattern));
  const std::string_view mask = pattern.substr(folder.size());

  const auto entries = ListFolderEntries(folder);
  if (!entries) return std::nullopt;
  std::optional<std::string> best;
  for (const std::string& name : *entries)
    if (WildcardMatch(mask, name) && (!best || name < *best)) best = name;
  if (!best) return std::nullopt;
  return folder + *best;
}

}  // namespace platform
