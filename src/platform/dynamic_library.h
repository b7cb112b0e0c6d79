#pragma once
// A shared library loaded at run time, with its exported functions looked up
// by name. The library stays loaded as long as the object lives.

#include <memory>
#include <string>

#include "platform/error.h"

namespace platform {

// The platform's file name of a shared library: "libName.so" on Linux,
// "Name.dll" on Windows.
std::string SharedLibraryFileName(const std::string& baseName);

class DynamicLibrary {
 public:
  // Loads the library from exactly this full path (no search elsewhere; on
  // Windows the libraries it needs come only from its own folder and the
  // system's). The error carries the system's reason.
  static Result<std::unique_ptr<DynamicLibrary>> Load(const std::string& path);

  // Only Load makes one.
  class Key {
    friend class DynamicLibrary;
    Key() = default;
  };
  DynamicLibrary(Key, void* handle) : handle_(handle) {}
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Address of the exported symbol, or null when the library lacks it.
  void* FindSymbol(const std::string& name) const;

 private:
  void* handle_;
};

}  // namespace platform
