#pragma once
// Signs that another program uses a serial device, read without opening it,
// and the UUCP lock file ("LCK..ttyUSB0") we leave while we hold one, as
// terminal programs such as minicom, picocom and cu do. Linux only: Windows
// refuses a second open of a port by itself.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The folders searched for UUCP lock files; ours goes into the first one we
// may write. /var/lock and /run/lock, unless replaced (tests use a folder of
// their own; an empty list restores the default).
void SetUucpLockFolders(std::vector<std::string> folders);

// How another program holds the device ("held by process 1234 (minicom)
// through a UUCP lock file"); nothing when none does. Seen: a UUCP lock file
// names a live process, or another process has the device open, as far as its
// /proc/<pid>/fd can be read (own processes; all of them for root). A process
// holding the far end of the same pseudo terminal is the line, not a user.
// Nothing when the device does not exist. Looking through every process takes
// milliseconds, so a "nobody has it open" seen less than reuseFreeFor ago may
// be reused (the library opens a port many times a second while it waits
// for a remote); a lock file is always read afresh.
std::optional<std::string> DeviceHeldElsewhere(
    const std::string& device,
    std::chrono::milliseconds reuseFreeFor = std::chrono::milliseconds(0));

// The UUCP lock file of a device while this process holds it; removed when
// the object goes away.
class UucpLock {
 public:
  UucpLock() = default;
  ~UucpLock();
  UucpLock(UucpLock&& other) noexcept;
  UucpLock& operator=(UucpLock&& other) noexcept;
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // Writes a lock file naming this process; a stale one (its process is gone)
  // is replaced. When a live process holds the lock, how (as
  // DeviceHeldElsewhere says it). Nothing, and no file, when no lock folder
  // can be written: the lock is a courtesy to other programs, the port's own
  // locks still hold.
  std::optional<std::string> Take(const std::string& device);

  // The lock file taken; empty when none.
  const std::string& Path() const { return path_; }

 private:
  void Release();
  std::string path_;
};

}  // namespace platform
