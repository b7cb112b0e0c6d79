// The profile through the INI file API, always with a full path (a bare
// name would land in the Windows folder).
#include <windows.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/profile.h"

namespace platform {

namespace {

std::mutex writeMutex;

std::string Folder(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

}  // namespace

// Read as text and parsed strictly: the API's own integer read would take
// "12abc" for 12.
int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  char text[64] = {};
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", text, sizeof text, path_.c_str());
  return ParseProfileInt(text).value_or(defaultValue);
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
  std::lock_guard lock(writeMutex);
  std::error_code ignored;  // a folder that cannot be made fails the write below
  std::filesystem::create_directories(Folder(path_), ignored);
  const std::string temporary = path_ + ".new";
  if (GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!CopyFileA(path_.c_str(), temporary.c_str(), FALSE)) return false;
  } else {
    DeleteFileA(temporary.c_str());
  }
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), std::to_string(value).c_str(),
                                  temporary.c_str())) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, temporary.c_str());  // flush the cache
  if (!MoveFileExA(temporary.c_str(), path_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
