#pragma once
// Icons of the program's resources as HICONs, one per resource id and pixel
// size, kept until the cache goes.

#include <cstddef>
#include <map>
#include <utility>

#include "window/win32/win32_api.h"

class Win32IconCache {
 public:
  Win32IconCache() = default;
  ~Win32IconCache();
  Win32IconCache(const Win32IconCache&) = delete;
  Win32IconCache& operator=(const Win32IconCache&) = delete;

  // The icon at the given size; null when there is no such icon.
  HICON Get(int iconResourceId, int sizePixels);

 private:
  std::map<std::pair<int, int>, HICON> icons_;
};

// The icon image of an ICO file that suits size best: that size exactly,
// else the largest. Exposed for tests; null when the file is malformed.
HICON IconFromIcoFile(const unsigned char* file, std::size_t length, int sizePixels);
