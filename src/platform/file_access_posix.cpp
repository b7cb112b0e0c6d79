#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_access.h"

namespace platform {

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool isFile = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  return isFile;
}

}  // namespace platform
