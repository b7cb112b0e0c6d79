#include "platform/path_text.h"

#include "platform/exe_path.h"

namespace platform {
namespace {

bool IsSeparator(char c) { return c == '/' || c == PathSeparator(); }

std::size_t NameStart(std::string_view path) {
  std::size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return start;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !IsSeparator(path.back())) path += PathSeparator();
  path += name;
  return path;
}

std::string_view FolderPart(std::string_view path) { return path.substr(0, NameStart(path)); }

std::string_view NamePart(std::string_view path) { return path.substr(NameStart(path)); }

}  // namespace platform
