// A named event is a small POSIX shared-memory object holding a
// process-shared robust mutex, a condition variable on the monotonic clock
// and the state. The last process to close it removes the name, as the
// kernel does for a named event on Windows.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "platform/named_event.h"

namespace platform {
namespace {

constexpr std::uint32_t kReady = 0x52464c45;  // written last by the creator
constexpr auto kInitialisationTimeout = std::chrono::seconds(2);
constexpr int kOpenAttempts = 50;

struct SharedBlock {
  std::atomic<std::uint32_t> ready;
  pthread_mutex_t mutex;
  pthread_cond_t changed;
  std::uint32_t signalled;
  std::uint32_t openCount;
  std::uint32_t removed;  // the name is gone: openers must make a fresh object
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Bytes other than letters, digits, '.', '-' are written as %XX, so that
// distinct names stay distinct and never contain a '/'.
std::string SharedMemoryName(const std::string& name) {
  std::string result = "/reflint-";
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '-';
    if (plain) {
      result += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      result += hex;
    }
  }
  return result;
}

bool InitialiseBlock(SharedBlock* block, bool processShared) {
  int shared = processShared ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE;
  pthread_mutexattr_t mutexAttributes;
  pthread_mutexattr_init(&mutexAttributes);
  pthread_mutexattr_setpshared(&mutexAttributes, shared);
  pthread_mutexattr_setrobust(&mutexAttributes, PTHREAD_MUTEX_ROBUST);
  int rc = pthread_mutex_init(&block->mutex, &mutexAttributes);
  pthread_mutexattr_destroy(&mutexAttributes);
  if (rc != 0) return false;

  pthread_condattr_t condAttributes;
  pthread_condattr_init(&condAttributes);
  pthread_condattr_setpshared(&condAttributes, shared);
  pthread_condattr_setclock(&condAttributes, CLOCK_MONOTONIC);
  rc = pthread_cond_init(&block->changed, &condAttributes);
  pthread_condattr_destroy(&condAttributes);
  if (rc != 0) return false;

  block->signalled = 0;
  block->openCount = 1;
  block->removed = 0;
  block->ready.store(kReady, std::memory_order_release);
  return true;
}

// Locks the mutex, taking it over when a process died holding it.
bool Lock(SharedBlock* block) {
  int rc = pthread_mutex_lock(&block->mutex);
  if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&block->mutex);
  return rc == 0;
}

void Unlock(SharedBlock* block) { pthread_mutex_unlock(&block->mutex); }

timespec DeadlineAfter(unsigned timeoutMs) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

SharedBlock* Map(int fd) {
  void* memory = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<SharedBlock*>(memory);
}

// Waits, bounded, for the creator to size and initialise an existing object.
SharedBlock* MapInitialised(int fd) {
  auto deadline = std::chrono::steady_clock::now() + kInitialisationTimeout;
  struct stat status {};
  while (fstat(fd, &status) == 0 && status.st_size < static_cast<off_t>(sizeof(SharedBlock))) {
    if (std::chrono::steady_clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  SharedBlock* block = Map(fd);
  if (!block) return nullptr;
  while (block->ready.load(std::memory_order_acquire) != kReady) {
    if (std::chrono::steady_clock::now() > deadline) {
      munmap(block, sizeof(SharedBlock));
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return block;
}

}  // namespace

struct NamedEvent::Impl {
  SharedBlock* block = nullptr;
  std::string sharedName;  // empty for an event of this process only

  ~Impl() {
    if (!block) return;
    if (!sharedName.empty() && Lock(block)) {
      if (--block->openCount == 0) {
        // Unlinked under the lock: an opener that found the old object sees
        // the mark and starts again.
        block->removed = 1;
        shm_unlink(sharedName.c_str());
      }
      Unlock(block);
    }
    munmap(block, sizeof(SharedBlock));
  }
};

NamedEvent::NamedEvent(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NamedEvent::~NamedEvent() = default;

Result<std::shared_ptr<NamedEvent>> NamedEvent::Open(const std::string& name) {
  const std::string what = name.empty() ? "private event" : "event \"" + name + "\"";
  auto fail = [&](Error error) { return Fail(std::move(error)); };
  auto refuse = [&](std::string reason) { return Fail(Refusal(what, {}, std::move(reason))); };
  auto impl = std::make_unique<Impl>();

  if (name.empty()) {
    void* memory = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return fail(LastSystemFailure(what, "mmap"));
    impl->block = static_cast<SharedBlock*>(memory);
    if (!InitialiseBlock(impl->block, false)) return refuse("cannot initialise it");
    return std::make_shared<NamedEvent>(std::move(impl));
  }

  std::string sharedName = SharedMemoryName(name);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = shm_open(sharedName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      // Ours to initialise; others wait for the ready mark.
      SharedBlock* block = nullptr;
      if (ftruncate(fd, sizeof(SharedBlock)) == 0) block = Map(fd);
      int savedErrno = errno;
      close(fd);
      if (!block || !InitialiseBlock(block, true)) {
        if (block) munmap(block, sizeof(SharedBlock));
        shm_unlink(sharedName.c_str());
        return fail(SystemFailure(what, "create", savedErrno));
      }
      impl->block = block;
      impl->sharedName = sharedName;
      return std::make_shared<NamedEvent>(std::move(impl));
    }
    if (errno != EEXIST) return fail(LastSystemFailure(what, "shm_open"));

    fd = shm_open(sharedName.c_str(), O_RDWR, 0);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // removed in between: create it afresh
      return fail(LastSystemFailure(what, "shm_open"));
    }
    SharedBlock* block = MapInitialised(fd);
    close(fd);
    if (!block) return refuse("exists but was never initialised");
    if (!Lock(block)) {
      munmap(block, sizeof(SharedBlock));
      return refuse("cannot lock it");
    }
    if (block->removed == 1) {
      Unlock(block);
      munmap(block, sizeof(SharedBlock));
      continue;
    }
    ++block->openCount;
    Unlock(block);
    impl->block = block;
    impl->sharedName = sharedName;
    return std::make_shared<NamedEvent>(std::move(impl));
  }
  return refuse("kept vanishing while being opened");
}

bool NamedEvent::Set() {
  SharedBlock* block = impl_->block;
  if (!Lock(block)) return false;
  block->signalled = 1;
  pthread_cond_broadcast(&block->changed);
  Unlock(block);
  return true;
}

bool NamedEvent::Reset() {
  SharedBlock* block = impl_->block;
  if (!Lock(block)) return false;
  block->signalled = 0;
  Unlock(block);
  return true;
}

WaitResult NamedEvent::Wait(unsigned timeoutMs) {
  SharedBlock* block = impl_->block;
  timespec deadline = DeadlineAfter(timeoutMs);
  if (!Lock(block)) return WaitResult::Failed;
  while (block->signalled == 0) {
    int rc = pthread_cond_timedwait(&block->changed, &block->mutex, &deadline);
    if (rc == ETIMEDOUT) break;
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&block->mutex);
    if (rc != 0) {
      Unlock(block);
      return WaitResult::Failed;
    }
  }
  WaitResult result = block->signalled == 1 ? WaitResult::Signalled : WaitResult::TimedOut;
  Unlock(block);
  return result;
}

}  // namespace platform
