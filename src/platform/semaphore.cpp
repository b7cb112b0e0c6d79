#include "platform/semaphore.h"

#include <chrono>

namespace platform {

Semaphore::Semaphore(int initialCount, int maximumCount)
    : count_(initialCount), maximum_(maximumCount) {}

bool Semaphore::Release() {
  {
    std::lock_guard lock(mutex_);
    if (count_ >= maximum_) return false;
    ++count_;
  }
  released_.notify_one();
  return true;
}

bool Semaphore::Wait(unsigned timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return count_ > 0; }))
    return false;
  --count_;
  return true;
}

}  // namespace platform
