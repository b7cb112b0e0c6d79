#include "catalogue/firmware_catalogue.h"

#include "platform/exe_path.h"
#include "platform/folder_search.h"

void FirmwareCatalogue::ScanFirmwareFiles() { ScanFirmwareFiles(platform::ExecutablePath()); }

void FirmwareCatalogue::ScanFirmwareFiles(std::string_view executablePath) {
  // '/' separates folders on every platform we run on; Windows adds '\'.
  const std::string separators = std::string("/") + platform::PathSeparator();
  const std::size_t cut = executablePath.find_last_of(separators);
  exeDirectory_ = cut == std::string_view::npos ? std::string()
                                                : std::string(executablePath.substr(0, cut + 1));

  for (const FamilyInfo& info : kFamilies) {
    std::string& path = firmwarePaths_[FamilyIndex(info.family)];
    path.clear();
    if (auto found = platform::FindFirstMatch(exeDirectory_ + std::string(info.fileMask)))
      path = std::move(*found);
  }
}

std::string FirmwareCatalogue::GetExeDirectory() const { return exeDirectory_; }

std::string FirmwareCatalogue::GetFirmwarePath(DeviceFamily family) const {
  return firmwarePaths_[FamilyIndex(family)];
}
