#include <windows.h>

#include "platform/log_file.h"

namespace platform {
namespace {

// Writers lock one byte far past any real end of file: a turn-taking mark
// that never keeps a reader away from the text.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE OpenForAppending(const std::string& path) {
  // FILE_APPEND_DATA alone: every write goes to the end in one piece.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
  return file;
}

void Close(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(file, 0, 1, 0, &at);
  CloseHandle(file);
}

bool SameFile(HANDLE file, const std::string& path) {
  HANDLE named =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

}  // namespace

void MakeFolderFor(const std::string& path) {
  // The profile folder keeps the user's own access rights.
  for (std::size_t slash = path.find_first_of("\\/", 3); slash != std::string::npos;
       slash = path.find_first_of("\\/", slash + 1)) {
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  }
}

bool AppendCappedLine(const std::string& path, std::string_view line, std::uintmax_t cap) {
  HANDLE file = OpenForAppending(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      static_cast<std::uintmax_t>(size.QuadPart) + line.size() > cap) {
    // Another writer may have moved this very file aside while we waited.
    if (SameFile(file, path)) {
      MoveFileExA(path.c_str(), OlderLogPath(path).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    Close(file);
    file = OpenForAppending(path);
    if (file == INVALID_HANDLE_VALUE) return false;
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
      written == line.size();
  Close(file);
  return ok;
}

}  // namespace platform
