#include <windows.h>

#include "platform/folder_search.h"

namespace platform {

// Every entry is listed and matched by WildcardMatch, instead of handing the
// mask to FindFirstFile, whose matching also considers 8.3 short names.
std::optional<std::vector<std::string>> ListFolderEntries(const std::string& folder) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
    return std::nullopt;
  }
  std::vector<std::string> names;
  do {
    const std::string_view name = data.cFileName;
    if (name != "." && name != "..") names.emplace_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

}  // namespace platform
