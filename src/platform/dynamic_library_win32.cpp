#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/support_log.h"

namespace platform {

std::string SharedLibraryFileName(const std::string& baseName) { return baseName + ".dll"; }

Result<std::unique_ptr<DynamicLibrary>> DynamicLibrary::Load(const std::string& path) {
  // No system error box for a missing or broken file: the caller reports it.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  // The libraries it needs come from its own folder and the system's, never
  // from the current folder, where anyone could put one.
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  const DWORD code = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (module == nullptr)
    return Fail(SystemFailure(LoggedFileName(path), "load", static_cast<long>(code)));
  return std::make_unique<DynamicLibrary>(Key{}, module);
}

DynamicLibrary::~DynamicLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::FindSymbol(const std::string& name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

}  // namespace platform
