#pragma once
#include <string>

namespace platform {

// The system's own text for an error code (errno on Linux, GetLastError on
// Windows), without a trailing line end.
std::string SystemErrorText(unsigned long code);

}  // namespace platform
