#pragma once
// Searching a folder for entries by a wildcard name, the way Windows users
// know it, with the same answer on every platform and file system.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Windows wildcard rules: '*' matches any run of characters (also none), '?'
// exactly one character; letters match without regard to case (ASCII).
bool WildcardMatch(std::string_view mask, std::string_view name);

// Names of every entry of the folder (files, folders, hidden entries; not "."
// and ".."), in no particular order. An empty folder text means the current
// folder. None when the folder cannot be read.
std::optional<std::vector<std::string>> ListFolderEntries(const std::string& folder);

// The pattern is a folder followed by a wildcard name ("/opt/r/HLX700*.bin");
// without a separator it searches the current folder. Returns the folder part
// followed by the matching entry's name; when several entries match, the first
// in byte-wise order of their names, so the choice never depends on the file
// system's enumeration order. None when nothing matches.
std::optional<std::string> FindFirstMatch(std::string_view pattern);

}  // namespace platform
