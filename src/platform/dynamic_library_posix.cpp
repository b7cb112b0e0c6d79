#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace platform {

std::string SharedLibraryFileName(const std::string& baseName) { return "lib" + baseName + ".so"; }

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string* error) {
  // RTLD_NOW: an unresolved dependency fails here, not in the middle of a run.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* reason = dlerror();
      *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return nullptr;
  }
  return std::make_unique<DynamicLibrary>(Key{}, handle);
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::FindSymbol(const std::string& name) const {
  return dlsym(handle_, name.c_str());
}

}  // namespace platform
