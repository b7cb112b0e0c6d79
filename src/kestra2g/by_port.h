#pragma once
// What the library keeps about each port (COMn) for the rest of the process:
// what a cable failed to carry, what a remote reported. Calls on different
// ports run on threads of their own.

#include <map>
#include <mutex>
#include <optional>

namespace kestra2g {

template <typename T>
class ByPort {
 public:
  std::optional<T> Get(int port) const {
    const std::lock_guard lock(mutex_);
    const auto it = values_.find(port);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  // `merge(old, value)` decides what stays when the port has a value already.
  template <typename Merge>
  void Put(int port, T value, Merge merge) {
    if (port < 0) return;  // not opened by number: nothing to keep it by
    const std::lock_guard lock(mutex_);
    auto [it, added] = values_.try_emplace(port, value);
    if (!added) it->second = merge(it->second, value);
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, T> values_;
};

}  // namespace kestra2g
