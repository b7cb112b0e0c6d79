#include <windows.h>

#include "platform/error.h"
#include "platform/system_error.h"

namespace platform {

std::string SystemErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result =
      length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

Error LastSystemFailure(std::string what, std::string stage) {
  const long code = static_cast<long>(GetLastError());
  return SystemFailure(std::move(what), std::move(stage), code);
}

}  // namespace platform
