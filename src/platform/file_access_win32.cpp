#include <windows.h>

#include <string>

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

namespace {

struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

Result<std::vector<std::uint8_t>> ReadRegularFileBytes(const std::string& path,
                                                       std::size_t maxBytes) {
  // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS; a pipe or a
  // device does, at once, and is told apart by its type.
  const Handle file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return Fail(LastSystemFailure(path, "open"));
  if (GetFileType(file.h) != FILE_TYPE_DISK) {
    return Fail(Refusal(path, "open", "not a regular file: a pipe or a device"));
  }
  auto tooLarge = [&](unsigned long long size) {
    return Fail(Refusal(path, "read",
                        std::to_string(size) + " bytes, larger than the " +
                            std::to_string(maxBytes) + " it may have"));
  };
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.h, &size)) return Fail(LastSystemFailure(path, "size"));
  const auto length = static_cast<unsigned long long>(size.QuadPart);
  if (length > maxBytes) return tooLarge(length);
  // One byte more than it said: a file that grew meanwhile is refused too.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length) + 1);
  std::size_t got = 0;
  while (got < bytes.size()) {
    DWORD n = 0;
    if (!ReadFile(file.h, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n,
                  nullptr)) {
      return Fail(LastSystemFailure(path, "read"));
    }
    if (n == 0) break;
    got += n;
  }
  if (got > maxBytes) return tooLarge(got);
  bytes.resize(got);
  return bytes;
}

}  // namespace platform
