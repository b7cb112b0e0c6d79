// The profile through the INI file API, always with a full path (a bare
// name would land in the Windows folder).
#include <windows.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/profile.h"
#include "platform/support_log.h"
#include "platform/system_error.h"

namespace platform {

namespace {

std::mutex writeMutex;

std::string Folder(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

}  // namespace

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  if (path_.empty()) return defaultValue;
  return static_cast<int>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path_.c_str()));
}

Result<> Profile::WriteInt(const std::string& section, const std::string& key, int value) {
  const auto fail = [this](const char* step) {
    const long code = static_cast<long>(GetLastError());
    return Fail(SystemFailure(LoggedFileName(path_), step, code));
  };
  if (path_.empty()) return Fail(Refusal("the profile", {}, "no folder for the settings is known"));
  std::lock_guard lock(writeMutex);
  std::error_code ignored;  // a folder that cannot be made fails the write below
  std::filesystem::create_directories(Folder(path_), ignored);
  // One name per process: two programs saving at once never share a half-written copy.
  const std::string temporary = path_ + "." + std::to_string(GetCurrentProcessId()) + ".new";
  if (GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!CopyFileA(path_.c_str(), temporary.c_str(), FALSE)) return fail("copy");
  } else {
    DeleteFileA(temporary.c_str());
  }
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), std::to_string(value).c_str(),
                                  temporary.c_str())) {
    auto failed = fail("write the new file");
    DeleteFileA(temporary.c_str());
    return failed;
  }
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, temporary.c_str());  // flush the cache
  if (!MoveFileExA(temporary.c_str(), path_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    auto failed = fail("replace");
    DeleteFileA(temporary.c_str());
    return failed;
  }
  return {};
}

}  // namespace platform
