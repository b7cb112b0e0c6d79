#include <windows.h>

#include <vector>

#include "platform/exe_path.h"

namespace platform {

char PathSeparator() { return '\\'; }

std::string ExecutablePath() {
  // Paths longer than MAX_PATH exist; grow until the name fits.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
