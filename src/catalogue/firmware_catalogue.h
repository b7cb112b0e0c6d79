#pragma once
// The firmware files that ship beside the program: at most one per family,
// found once at start-up and never refreshed while the program runs.

#include <array>
#include <string>
#include <string_view>

#include "core/device_family.h"

class FirmwareCatalogue {
 public:
  // Searches the running program's folder.
  void ScanFirmwareFiles();
  // Searches the folder of the given executable path (a test points this at
  // a folder of its own).
  void ScanFirmwareFiles(std::string_view executablePath);

  // The executable's folder ending with its separator; empty when the path
  // held no separator (the search then ran in the current folder).
  std::string GetExeDirectory() const;
  // Full path of the family's file; empty when none was found.
  std::string GetFirmwarePath(DeviceFamily family) const;

 private:
  std::string exeDirectory_;
  std::array<std::string, kFamilyCount> firmwarePaths_;
};
