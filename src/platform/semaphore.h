#pragma once
// A counting semaphore of this process with a timed wait.

#include <condition_variable>
#include <mutex>

namespace platform {

class Semaphore {
 public:
  Semaphore(int initialCount, int maximumCount);
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Adds one to the count, up to the maximum; false when it was full.
  bool Release();
  // Takes one from the count, waiting at most timeoutMs for it to be
  // non-zero; false on time-out.
  bool Wait(unsigned timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  int count_;
  const int maximum_;
};

}  // namespace platform
