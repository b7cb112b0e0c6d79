#include "emulator/ordered_stream.h"

namespace emulator {

void OrderedStream::Restart(bool failed) {
  next_ = 0;
  failed_ = failed;
  ahead_.clear();
  aheadBytes_ = 0;
}

void OrderedStream::Pass(std::span<const std::uint8_t> bytes, const Feed& feed) {
  if (failed_ || bytes.empty()) return;
  failed_ = !feed(bytes);
  next_ += static_cast<std::uint32_t>(bytes.size());
}

OrderedStream::Result OrderedStream::Take(std::uint32_t offset, std::span<const std::uint8_t> bytes,
                                          const Feed& feed) {
  if (failed_) return Result::Failed;
  const std::uint64_t end = std::uint64_t{offset} + bytes.size();
  if (end > std::uint64_t{next_} + keepAhead_) return Result::Dropped;
  if (offset > next_) {
    auto& kept = ahead_[offset];
    if (bytes.size() > kept.size()) {
      if (aheadBytes_ - kept.size() + bytes.size() > 2 * keepAhead_) return Result::Dropped;
      aheadBytes_ = aheadBytes_ - kept.size() + bytes.size();
      kept.assign(bytes.begin(), bytes.end());
    }
    return Result::Gap;
  }
  if (end > next_) Pass(bytes.subspan(next_ - offset), feed);
  // What was kept beyond the gap may follow on now.
  while (!failed_ && !ahead_.empty() && ahead_.begin()->first <= next_) {
    const auto it = ahead_.begin();
    const std::uint64_t keptEnd = std::uint64_t{it->first} + it->second.size();
    if (keptEnd > next_) Pass(std::span(it->second).subspan(next_ - it->first), feed);
    aheadBytes_ -= it->second.size();
    ahead_.erase(it);
  }
  if (failed_) return Result::Failed;
  return ahead_.empty() ? Result::Ok : Result::Gap;
}

}  // namespace emulator
