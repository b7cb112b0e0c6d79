#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/path_text.h"
#include "platform/port_in_use.h"

namespace platform {
namespace {

std::mutex gFoldersMutex;
std::vector<std::string> gFolders;  // empty: the system's folders

std::vector<std::string> LockFolders() {
  std::lock_guard guard(gFoldersMutex);
  if (!gFolders.empty()) return gFolders;
  return {"/var/lock", "/run/lock"};
}

std::string LockName(const std::string& device) { return "LCK.." + std::string(NamePart(device)); }

bool IsDigits(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// The process a lock file names: ten ASCII digits and a newline, or a binary
// int in old ones. 0 when it names none.
pid_t ParseLockPid(std::string_view text) {
  const bool ascii = std::ranges::all_of(
      text, [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n' || c == '\r'; });
  if (!ascii) {
    int binary = 0;
    if (text.size() != sizeof binary) return 0;
    std::memcpy(&binary, text.data(), sizeof binary);
    return binary > 0 ? binary : 0;
  }
  long long value = 0;
  bool digits = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
      value = value * 10 + (c - '0');
      if (value > INT_MAX) return 0;
    } else if (digits) {
      break;
    }
  }
  return static_cast<pid_t>(value);
}

// "1234 (minicom)": the process and, when /proc tells, its program.
std::string ProcessText(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

bool ProcessAlive(pid_t pid) { return pid == getpid() || kill(pid, 0) == 0 || errno == EPERM; }

enum class Holder { None, Live, Stale };

// Who holds the lock file at path; *owner gets the process it names (0 when
// it names none or cannot be read).
Holder LockHolder(const std::string& path, pid_t* owner = nullptr) {
  if (owner != nullptr) *owner = 0;
  // O_NONBLOCK and O_NOFOLLOW: a FIFO or link planted under the name must not
  // stall us or send us elsewhere.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // A lock we cannot read may well be live.
    return errno == ENOENT ? Holder::None : Holder::Live;
  }
  struct stat st {};
  char text[64];
  ssize_t n = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = read(fd, text, sizeof text);
  close(fd);
  if (n < 0) return Holder::Live;
  const pid_t pid = ParseLockPid(std::string_view(text, static_cast<std::size_t>(n)));
  if (owner != nullptr) *owner = pid;
  if (pid == 0) {
    // Being written this very moment, or garbage left long ago.
    return std::time(nullptr) - st.st_mtime < 10 ? Holder::Live : Holder::Stale;
  }
  return ProcessAlive(pid) ? Holder::Live : Holder::Stale;
}

enum class Placement { Placed, Held, Failed };

// Links the written temporary file under the lock's name: atomic, so of two
// programs only one gets the lock.
Placement Place(const std::string& temp, const std::string& path) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (link(temp.c_str(), path.c_str()) == 0) return Placement::Placed;
    if (errno != EEXIST) return Placement::Failed;
    if (LockHolder(path) == Holder::Live) return Placement::Held;
    // The lock of a process that is gone: replace it.
    if (unlink(path.c_str()) != 0 && errno != ENOENT) return Placement::Failed;
  }
  return Placement::Held;  // another program keeps taking it before us
}

bool SameDevice(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The number N of a pseudo terminal's slave /dev/pts/N; -1 for other devices.
int PtySlaveIndex(const struct stat& st) {
  constexpr unsigned kFirstMajor = 136;  // UNIX98 slaves span majors 136-143
  constexpr unsigned kMajors = 8;
  if (!S_ISCHR(st.st_mode)) return -1;
  const unsigned ma = major(st.st_rdev);
  if (ma < kFirstMajor || ma >= kFirstMajor + kMajors) return -1;
  return static_cast<int>((ma - kFirstMajor) * 256 + minor(st.st_rdev));
}

bool IsPtyMaster(const struct stat& st) {
  return S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2;
}

// The slave number of the pty master open as fd in a process; -1 when the
// kernel does not tell.
int MasterIndex(const std::string& processDir, const char* fd) {
  std::ifstream in(processDir + "/fdinfo/" + fd);
  constexpr std::string_view kKey = "tty-index:";
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(kKey)) return std::atoi(line.c_str() + kKey.size());
  }
  return -1;
}

// True when the process has the device open and does not hold the far end of
// the same pseudo terminal (an emulated device keeps both ends open).
bool ProcessUses(const std::string& processDir, const std::string& devicePath,
                 const struct stat& device, int ptyIndex) {
  const std::string fdDir = processDir + "/fd";
  DIR* dir = opendir(fdDir.c_str());
  if (dir == nullptr) return false;  // another user's process, or gone
  bool uses = false;
  bool farEnd = false;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[PATH_MAX];
    const ssize_t len = readlinkat(dirfd(dir), entry->d_name, target, sizeof target);
    if (len <= 0) continue;
    const std::string_view name(target, static_cast<std::size_t>(len));
    // Only device nodes matter; a stat of files elsewhere could wait on a
    // network file system.
    if (!name.starts_with("/dev/") && name != devicePath) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0) continue;
    if (SameDevice(st, device)) {
      uses = true;
    } else if (ptyIndex >= 0 && IsPtyMaster(st)) {
      const int index = MasterIndex(processDir, entry->d_name);
      farEnd = farEnd || index == ptyIndex || index < 0;
    }
  }
  closedir(dir);
  return uses && !farEnd;
}

// The first other process that has the device open; 0 when none does.
pid_t OpenedByAnotherProcess(const std::string& devicePath, const struct stat& device) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  const int ptyIndex = PtySlaveIndex(device);
  const std::string self = std::to_string(getpid());
  pid_t found = 0;
  while (found == 0) {
    const dirent* entry = readdir(proc);
    if (entry == nullptr) break;
    const std::string_view pid(entry->d_name);
    if (!IsDigits(pid) || pid == self) continue;
    if (ProcessUses("/proc/" + std::string(pid), devicePath, device, ptyIndex)) {
      found = static_cast<pid_t>(std::atoi(entry->d_name));
    }
  }
  closedir(proc);
  return found;
}

// The last device no other process had open, and when that was seen.
struct FreeAnswer {
  bool valid = false;
  struct stat device {};
  std::chrono::steady_clock::time_point when;
};
std::mutex gLastFreeMutex;
FreeAnswer gLastFree;

// How a live process holds the device's UUCP lock; nothing when none does.
std::optional<std::string> LockedByLiveProcess(const std::string& device) {
  const std::string name = LockName(device);
  for (const std::string& folder : LockFolders()) {
    pid_t owner = 0;
    if (LockHolder(JoinPath(folder, name), &owner) != Holder::Live) continue;
    // A lock we cannot read, or one being written, names no process yet.
    return owner > 0 ? "held by process " + ProcessText(owner) + " through a UUCP lock file"
                     : "held through a UUCP lock file " + JoinPath(folder, name);
  }
  return std::nullopt;
}

}  // namespace

void SetUucpLockFolders(std::vector<std::string> folders) {
  std::lock_guard guard(gFoldersMutex);
  gFolders = std::move(folders);
}

std::optional<std::string> DeviceHeldElsewhere(const std::string& device,
                                               std::chrono::milliseconds reuseFreeFor) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return std::nullopt;
  if (std::optional<std::string> held = LockedByLiveProcess(device)) return held;
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard guard(gLastFreeMutex);
    if (gLastFree.valid && SameDevice(gLastFree.device, st) &&
        now - gLastFree.when < reuseFreeFor) {
      return std::nullopt;
    }
  }
  const pid_t user = OpenedByAnotherProcess(device, st);
  {
    std::lock_guard guard(gLastFreeMutex);
    gLastFree = {.valid = user == 0, .device = st, .when = now};
  }
  if (user == 0) return std::nullopt;
  return "held by process " + ProcessText(user) + ", which has it open";
}

UucpLock::~UucpLock() { Release(); }

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

std::optional<std::string> UucpLock::Take(const std::string& device) {
  Release();
  if (std::optional<std::string> held = LockedByLiveProcess(device)) return held;
  const std::string name = LockName(device);
  const std::vector<std::string> folders = LockFolders();
  static std::atomic<unsigned> counter{0};
  const pid_t self = getpid();
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(self));
  for (const std::string& folder : folders) {
    const std::string temp =
        JoinPath(folder, "LTMP." + std::to_string(self) + "." + std::to_string(counter++));
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) continue;  // this folder is not ours to write
    // Readable by every program that checks the lock, whatever our umask.
    bool written = fchmod(fd, 0644) == 0 && write(fd, text, 11) == 11;
    written = close(fd) == 0 && written;
    const std::string path = JoinPath(folder, name);
    const Placement placed = written ? Place(temp, path) : Placement::Failed;
    unlink(temp.c_str());
    if (placed == Placement::Placed) {
      path_ = path;
      return std::nullopt;
    }
    if (placed == Placement::Held) {
      return LockedByLiveProcess(device).value_or("held through a UUCP lock file " + path);
    }
  }
  return std::nullopt;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  // Only our own lock goes: one that another program replaced stays theirs.
  pid_t owner = 0;
  LockHolder(path_, &owner);
  if (owner == getpid()) unlink(path_.c_str());
  path_.clear();
}

}  // namespace platform
