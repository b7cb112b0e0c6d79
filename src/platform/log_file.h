#pragma once
// A text file that only ever grows by whole lines, shared by several writers
// at once: threads, and the program together with its device library.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Appends `line` (ending with its line break) to the file at `path` in one
// write, so lines of different writers never mix and a crash leaves the
// earlier lines whole. When the file would grow past `cap` bytes, it first
// becomes `path` + ".1" (replacing the older one) and a new file begins.
// Creates the file, not its folder. False when nothing could be written.
bool AppendCappedLine(const std::string& path, std::string_view line, std::uintmax_t cap);

// Makes the folder that will hold `path`, and any folder above it that is
// missing, readable by this user only (as the settings folder is).
void MakeFolderFor(const std::string& path);

// The older file that AppendCappedLine keeps.
inline std::string OlderLogPath(const std::string& path) { return path + ".1"; }

}  // namespace platform
