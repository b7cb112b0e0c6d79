#pragma once
// Version blocks in the Windows VS_VERSIONINFO layout: a tree of nodes
// (length, value length, type, UTF-16 key, value, children), each aligned to
// four bytes. Windows keeps one as the executable's VERSIONINFO resource; on
// Linux the program carries the same bytes in an ELF section of its own.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Name of the ELF section that holds the version block on Linux.
inline constexpr const char* kVersionSectionName = ".reflint_version";

// The version block carried by the executable file at path; empty when the
// file cannot be read or carries none.
std::vector<std::uint8_t> ReadVersionBlock(const std::string& path);

// A text value of a version block, named by a path of keys such as
// \StringFileInfo\040904B0\ProductVersion (compared without regard to
// case); nullopt when the block has no such value or is malformed.
std::optional<std::string> QueryVersionString(std::span<const std::uint8_t> block,
                                              std::string_view subBlock);

}  // namespace platform
