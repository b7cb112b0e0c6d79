#include "run/library_loader.h"

#include <utility>

#include "identify/call_log_library.h"
#include "identify/kestra2g_library.h"

LibraryLoader::LibraryLoader(platform::SupportLog& log) : log_(log) {}

LibraryResult LibraryLoader::Library(const std::string& folder) {
  std::lock_guard lock(mutex_);
  if (library_) return library_;
  LibraryResult loaded = LoadDeviceLibrary(folder);
  if (!loaded) {
    log_.Write("device library not loaded: " + loaded.error().error.Describe());
    return loaded;
  }
  library_ = WithCallLog(std::move(*loaded), log_);
  return library_;
}
