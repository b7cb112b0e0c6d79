#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

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

namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

Result<std::vector<std::uint8_t>> ReadRegularFileBytes(const std::string& path,
                                                       std::size_t maxBytes) {
  const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd < 0) return Fail(LastSystemFailure(path, "open"));
  struct stat info {};
  if (fstat(file.fd, &info) != 0) return Fail(LastSystemFailure(path, "stat"));
  if (!S_ISREG(info.st_mode)) {
    return Fail(Refusal(path, "open", std::string("not a regular file: ") + KindOf(info.st_mode)));
  }
  auto tooLarge = [&](unsigned long long size) {
    return Fail(Refusal(path, "read",
                        std::to_string(size) + " bytes, larger than the " +
                            std::to_string(maxBytes) + " it may have"));
  };
  const auto size = static_cast<unsigned long long>(info.st_size);
  if (size > maxBytes) return tooLarge(size);
  // One byte more than it said: a file that grew meanwhile is refused too.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + 1);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = read(file.fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(LastSystemFailure(path, "read"));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got > maxBytes) return tooLarge(got);
  bytes.resize(got);
  return bytes;
}

}  // namespace platform
