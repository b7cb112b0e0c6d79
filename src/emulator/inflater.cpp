#include "emulator/inflater.h"

#include <zlib.h>

namespace emulator {

struct StreamInflater::ZState {
  z_stream z{};
  bool live = false;
  ~ZState() {
    if (live) inflateEnd(&z);
  }
};

StreamInflater::StreamInflater(int windowBits, std::size_t keepAhead)
    : z_(std::make_unique<ZState>()), windowBits_(windowBits), keepAhead_(keepAhead) {}

StreamInflater::~StreamInflater() = default;

void StreamInflater::Restart(std::span<std::uint8_t> flash) {
  flash_ = flash;
  next_ = 0;
  written_ = 0;
  ended_ = false;
  ahead_.clear();
  aheadBytes_ = 0;
  if (z_->live) {
    failed_ = inflateReset(&z_->z) != Z_OK;
  } else {
    z_->live = inflateInit2(&z_->z, windowBits_) == Z_OK;
    failed_ = !z_->live;
  }
}

void StreamInflater::Feed(std::span<const std::uint8_t> bytes) {
  if (failed_ || bytes.empty()) return;
  if (ended_) {
    failed_ = true;  // nothing may follow the end of the stream
    return;
  }
  z_stream& z = z_->z;
  z.next_in = const_cast<Bytef*>(bytes.data());  // zlib's API is not const-correct
  z.avail_in = static_cast<uInt>(bytes.size());
  for (;;) {
    z.next_out = flash_.data() + written_;
    z.avail_out = static_cast<uInt>(flash_.size() - written_);
    const int rc = inflate(&z, Z_NO_FLUSH);
    written_ = flash_.size() - z.avail_out;
    if (rc == Z_STREAM_END) {
      ended_ = true;
      failed_ = z.avail_in != 0;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      failed_ = true;  // corrupt, or a larger window than this device has
      break;
    }
    if (z.avail_in == 0) break;
    if (z.avail_out == 0) {
      failed_ = true;  // the image would run past the erased flash
      break;
    }
  }
  next_ += static_cast<std::uint32_t>(bytes.size());
}

StreamInflater::Result StreamInflater::Take(std::uint32_t offset,
                                            std::span<const std::uint8_t> bytes) {
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
  if (end > next_) Feed(bytes.subspan(next_ - offset));
  // What was kept beyond the gap may follow on now.
  while (!failed_ && !ahead_.empty() && ahead_.begin()->first <= next_) {
    const auto it = ahead_.begin();
    const std::uint64_t keptEnd = std::uint64_t{it->first} + it->second.size();
    if (keptEnd > next_) Feed(std::span(it->second).subspan(next_ - it->first));
    aheadBytes_ -= it->second.size();
    ahead_.erase(it);
  }
  if (failed_) return Result::Failed;
  return ahead_.empty() ? Result::Ok : Result::Gap;
}

}  // namespace emulator
