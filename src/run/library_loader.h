#pragma once
// The one way every face loads the device library: from the program's own
// folder, with its calls written to the support log, once; a failed load is
// tried again on the next request, so that a library put in place later is
// found without a restart. Any thread.

#include <memory>
#include <mutex>
#include <string>

#include "identify/device_library.h"
#include "platform/support_log.h"

class LibraryLoader {
 public:
  // `log` must outlive the loader and the library it gives.
  explicit LibraryLoader(platform::SupportLog& log);

  // The library from `folder`, the executable's (the first that loaded).
  LibraryResult Library(const std::string& folder);

 private:
  platform::SupportLog& log_;
  std::mutex mutex_;
  std::shared_ptr<DeviceLibrary> library_;
};
