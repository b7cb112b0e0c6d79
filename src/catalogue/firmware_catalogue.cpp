#include "catalogue/firmware_catalogue.h"

#include "platform/exe_path.h"
#include "platform/folder_search.h"
#include "platform/path_text.h"

void FirmwareCatalogue::ScanFirmwareFiles() { ScanFirmwareFiles(platform::ExecutablePath()); }

void FirmwareCatalogue::ScanFirmwareFiles(std::string_view executablePath) {
  exeDirectory_ = std::string(platform::FolderPart(executablePath));

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
