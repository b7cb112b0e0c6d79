#pragma once
#include <cstddef>
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

// The bytes of a regular file of at most `maxBytes`, or why not. The open
// never waits (for a FIFO's writer, say), and anything but a regular file
// on disk, or a larger one, is refused before a byte is read: a name may
// point anywhere, at a pipe or /dev/zero or a sparse file of gigabytes.
Result<std::vector<std::uint8_t>> ReadRegularFileBytes(const std::string& path,
                                                       std::size_t maxBytes);

}  // namespace platform
