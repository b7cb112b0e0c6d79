#include <windows.h>

#include "platform/file_access.h"

namespace platform {

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  // No sharing: the open fails while another program has the file open.
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Device names (NUL, COM1) open too; only files on disk count.
  const bool isFile = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return isFile;
}

}  // namespace platform
