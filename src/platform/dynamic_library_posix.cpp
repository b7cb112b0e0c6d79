#include <dlfcn.h>

#include "platform/dynamic_library.h"
#include "platform/support_log.h"

namespace platform {

std::string SharedLibraryFileName(const std::string& baseName) { return "lib" + baseName + ".so"; }

Result<std::unique_ptr<DynamicLibrary>> DynamicLibrary::Load(const std::string& path) {
  // RTLD_NOW: an unresolved dependency fails here, not in the middle of a run.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // dlerror's words are the system's; it gives no number.
    const char* reason = dlerror();
    return Fail(Refusal(LoggedFileName(path), "load", reason != nullptr ? reason : "unknown"));
  }
  return std::make_unique<DynamicLibrary>(Key{}, handle);
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::FindSymbol(const std::string& name) const {
  return dlsym(handle_, name.c_str());
}

}  // namespace platform
