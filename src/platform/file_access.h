#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform {

// True when the path names an existing regular file that this process can
// open for reading; on Windows the open is exclusive, so a file another
// program holds open fails too. A folder, a device or a missing file fails.
// The file is closed again at once; nothing is read.
bool CanOpenForReading(const std::string& path);

// The whole file's bytes, or why it could not be read.
Result<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);

}  // namespace platform
