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
    : z_(std::make_unique<ZState>()), windowBits_(windowBits), stream_(keepAhead) {}

StreamInflater::~StreamInflater() = default;

void StreamInflater::Restart(std::span<std::uint8_t> flash) {
  flash_ = flash;
  written_ = 0;
  ended_ = false;
  bool ready = false;
  if (z_->live) {
    ready = inflateReset(&z_->z) == Z_OK;
  } else {
    z_->live = inflateInit2(&z_->z, windowBits_) == Z_OK;
    ready = z_->live;
  }
  stream_.Restart(!ready);
}

bool StreamInflater::Feed(std::span<const std::uint8_t> bytes) {
  if (ended_) return false;  // nothing may follow the end of the stream
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
      return z.avail_in == 0;
    }
    // Corrupt, or a larger window than this device has.
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    if (z.avail_in == 0) return true;
    if (z.avail_out == 0) return false;  // the image would run past the erased flash
  }
}

StreamInflater::Result StreamInflater::Take(std::uint32_t offset,
                                            std::span<const std::uint8_t> bytes) {
  return stream_.Take(offset, bytes, [this](std::span<const std::uint8_t> b) { return Feed(b); });
}

}  // namespace emulator
