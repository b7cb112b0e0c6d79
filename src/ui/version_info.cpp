#include "ui/version_info.h"

#include "platform/exe_path.h"
#include "platform/version_block.h"
#include "ui/version.h"
#include "ui/version_resource.h"

CVersionInfo::CVersionInfo() : CVersionInfo(platform::ExecutablePath()) {}

CVersionInfo::CVersionInfo(const std::string& executablePath) : path_(executablePath) {
  static_cast<void>(EmbeddedVersionBlockSize());
  if (!path_.empty()) block_ = platform::ReadVersionBlock(path_);
}

std::optional<std::string> CVersionInfo::GetProductVersion() const {
  return platform::QueryVersionString(
      block_, "\\StringFileInfo\\" REFLINT_VERSION_LANGUAGE_KEY "\\ProductVersion");
}
