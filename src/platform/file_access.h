#pragma once
#include <string>

namespace platform {

// True when the path names an existing regular file that this process can
// open for reading; on Windows the open is exclusive, so a file another
// program holds open fails too. A folder, a device or a missing file fails.
// The file is closed again at once; nothing is read.
bool CanOpenForReading(const std::string& path);

}  // namespace platform
