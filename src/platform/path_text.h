#pragma once
// Joining and splitting paths as text. '/' separates folders on every
// platform we run on; Windows adds '\'.

#include <string>
#include <string_view>

namespace platform {

// The folder followed by the name, with one separator between them (none is
// added when the folder already ends in one). An empty folder means the
// current folder: the name alone.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder part of a path including its last separator ("/opt/r/" for
// "/opt/r/reflint"); empty when the path has no separator.
std::string_view FolderPart(std::string_view path);

// The path without its folder part.
std::string_view NamePart(std::string_view path);

}  // namespace platform
