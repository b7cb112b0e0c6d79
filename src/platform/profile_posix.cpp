// The profile as a plain file, read and changed by profile_text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "platform/error.h"
#include "platform/profile.h"
#include "platform/profile_text.h"
#include "platform/support_log.h"

namespace platform {

namespace {

// Far beyond any profile; a larger file counts as unreadable rather than
// being taken into memory.
constexpr std::size_t kLargestFile = std::size_t{64} << 20;

// Writers of one process take turns; readers need no lock since a write
// replaces the whole file at once.
std::mutex writeMutex;

struct FileText {
  enum { Read, Missing, Unreadable } outcome = Unreadable;
  std::string text;
  struct stat info {};
  Error reason;  // why it is Unreadable
};

FileText ReadWhole(const std::string& path) {
  FileText file;
  // O_NONBLOCK: a FIFO put in the file's place must not stall the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) {
      file.outcome = FileText::Missing;
    } else {
      file.reason = SystemFailure(LoggedFileName(path), "open", errno);
    }
    return file;
  }
  if (fstat(fd, &file.info) != 0) {
    file.reason = SystemFailure(LoggedFileName(path), "examine", errno);
  } else if (!S_ISREG(file.info.st_mode)) {
    file.reason = Refusal(LoggedFileName(path), "read", "not a regular file");
  } else if (static_cast<std::uintmax_t>(file.info.st_size) > kLargestFile) {
    file.reason = Refusal(LoggedFileName(path), "read", "larger than a profile can be");
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        file.reason = SystemFailure(LoggedFileName(path), "read", errno);
        break;
      }
      if (n == 0) {
        file.outcome = FileText::Read;
        break;
      }
      if (file.text.size() + static_cast<std::size_t>(n) > kLargestFile) {
        file.reason = Refusal(LoggedFileName(path), "read", "larger than a profile can be");
        break;
      }
      file.text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  if (file.outcome != FileText::Read) file.text.clear();
  return file;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Like mkdir -p, new folders private to the user.
bool MakeFolders(const std::string& file, const std::string& folder, Error* reason) {
  for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *reason = SystemFailure(LoggedFileName(file), "create its folder", errno);
      return false;
    }
    if (at == std::string::npos) return true;
  }
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A profile kept behind a link (a dotfile folder, say) is written where the
// link points, so the link stays.
std::string WriteTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

// Writes text to a new file beside path and puts it in path's place.
bool ReplaceFile(const std::string& path, const std::string& text, const struct stat* old,
                 Error* reason) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    *reason = SystemFailure(LoggedFileName(path), "create a new file beside it", errno);
    return false;
  }
  bool ok = true;
  if (old != nullptr) {
    // The old file's owner may differ when an administrator made it; only
    // they could restore it, so a refusal is not an error.
    if (old->st_uid != geteuid() || old->st_gid != getegid()) {
      [[maybe_unused]] const int ignored = fchown(fd, old->st_uid, old->st_gid);
    }
    if (fchmod(fd, old->st_mode & 07777) != 0) {
      *reason = SystemFailure(LoggedFileName(path), "set the new file's permissions", errno);
      ok = false;
    }
  }
  if (ok && (!WriteAll(fd, text) || fsync(fd) != 0)) {
    *reason = SystemFailure(LoggedFileName(path), "write the new file", errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    *reason = SystemFailure(LoggedFileName(path), "write the new file", errno);
    ok = false;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    *reason = SystemFailure(LoggedFileName(path), "replace", errno);
    ok = false;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable; the new file is in place either way.
  if (const int dir = open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

}  // namespace

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  if (path_.empty()) return defaultValue;
  const FileText file = ReadWhole(path_);
  if (file.outcome != FileText::Read) return defaultValue;
  const std::optional<std::string_view> value = FindProfileValue(file.text, section, key);
  return value ? ProfileValueToInt(*value, defaultValue) : defaultValue;
}

Result<> Profile::WriteInt(const std::string& section, const std::string& key, int value) {
  Error reason;
  const bool written = [&] {
    if (path_.empty()) {
      reason = Refusal("the profile", {}, "no folder for the settings is known");
      return false;
    }
    std::lock_guard lock(writeMutex);
    const std::string target = WriteTarget(path_);
    if (!MakeFolders(target, Folder(target), &reason)) return false;
    const FileText file = ReadWhole(target);
    // What cannot be read cannot be kept: leave it as it is.
    if (file.outcome == FileText::Unreadable) {
      reason = file.reason;
      return false;
    }
    const std::string text = WithProfileValue(file.text, section, key, std::to_string(value));
    if (file.outcome == FileText::Read && text == file.text) return true;
    return ReplaceFile(target, text, file.outcome == FileText::Read ? &file.info : nullptr,
                       &reason);
  }();
  if (!written) return Fail(std::move(reason));
  return {};
}

}  // namespace platform
