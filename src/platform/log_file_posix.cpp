#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/log_file.h"

namespace platform {
namespace {

int OpenForAppending(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  // Writers in this and other processes take turns over the size check and
  // the rename; the write itself is atomic anyway with O_APPEND.
  if (fd >= 0) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  return fd;
}

}  // namespace

void MakeFolderFor(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0700);  // an existing one stays as it is
  }
}

bool AppendCappedLine(const std::string& path, std::string_view line, std::uintmax_t cap) {
  int fd = OpenForAppending(path);
  if (fd < 0) return false;
  struct stat opened {};
  struct stat named {};
  if (fstat(fd, &opened) == 0 && opened.st_size > 0 &&
      static_cast<std::uintmax_t>(opened.st_size) + line.size() > cap) {
    // Another writer may have moved this very file aside while we waited
    // for the lock: only the file still under the name is moved.
    if (stat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino &&
        named.st_dev == opened.st_dev) {
      rename(path.c_str(), OlderLogPath(path).c_str());
    }
    close(fd);
    fd = OpenForAppending(path);
    if (fd < 0) return false;
  }
  ssize_t n;
  do {
    n = write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  close(fd);
  return n == static_cast<ssize_t>(line.size());
}

}  // namespace platform
