#include "kestra2g/wire/frame.h"

#include <algorithm>

#include "kestra2g/wire/crc32.h"

namespace wire {

std::vector<std::uint8_t> EncodeFrame(std::uint8_t type, std::uint8_t seq,
                                      std::span<const std::uint8_t> payload) {
  const auto len = static_cast<std::uint16_t>(payload.size());
  const auto inv = static_cast<std::uint16_t>(~len);
  std::vector<std::uint8_t> out(kHeaderSize + payload.size() + kTrailerSize);
  out[0] = kSync0;
  out[1] = kSync1;
  out[2] = static_cast<std::uint8_t>(len & 0xFFU);
  out[3] = static_cast<std::uint8_t>(len >> 8);
  out[4] = static_cast<std::uint8_t>(inv & 0xFFU);
  out[5] = static_cast<std::uint8_t>(inv >> 8);
  out[6] = type;
  out[7] = seq;
  std::copy(payload.begin(), payload.end(), out.begin() + kHeaderSize);
  const std::size_t crcAt = kHeaderSize + payload.size();
  const std::uint32_t crc = Crc32(std::span(out).subspan(2, crcAt - 2));
  for (std::size_t i = 0; i < 4; ++i) out[crcAt + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return out;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
  // Compact now and then so the buffer does not grow with consumed bytes.
  if (start_ > 0 && start_ * 2 >= buffer_.size()) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FrameDecoder::Drop(std::size_t n) {
  start_ += n;
  skipped_ += n;
}

std::optional<Frame> FrameDecoder::Next() {
  for (;;) {
    const std::span<const std::uint8_t> data = std::span(buffer_).subspan(start_);
    // Find a sync pair.
    std::size_t i = 0;
    while (i + 1 < data.size() && !(data[i] == kSync0 && data[i + 1] == kSync1)) ++i;
    if (i + 1 >= data.size()) {
      // Keep a trailing first sync byte: its partner may still come.
      const std::size_t keep = !data.empty() && data.back() == kSync0 ? 1 : 0;
      Drop(data.size() - keep);
      return std::nullopt;
    }
    if (i > 0) {
      Drop(i);
      continue;
    }
    if (data.size() < kHeaderSize) return std::nullopt;
    const std::size_t len = data[2] | (data[3] << 8);
    const std::size_t inv = data[4] | (data[5] << 8);
    if ((len ^ inv) != 0xFFFFU || len > maxPayload_) {
      ++badFrames_;
      Drop(1);  // a false sync: look again from the next byte
      continue;
    }
    const std::size_t total = kHeaderSize + len + kTrailerSize;
    if (data.size() < total) return std::nullopt;
    const std::uint32_t crc = Crc32(data.subspan(2, kHeaderSize - 2 + len));
    const std::uint32_t got = static_cast<std::uint32_t>(data[total - 4]) |
                              (static_cast<std::uint32_t>(data[total - 3]) << 8) |
                              (static_cast<std::uint32_t>(data[total - 2]) << 16) |
                              (static_cast<std::uint32_t>(data[total - 1]) << 24);
    if (crc != got) {
      // A real frame may start inside this one; rescan from the next byte.
      ++badFrames_;
      Drop(1);
      continue;
    }
    Frame frame;
    frame.type = data[6];
    frame.seq = data[7];
    frame.payload.assign(data.begin() + kHeaderSize, data.begin() + kHeaderSize + len);
    start_ += total;
    return frame;
  }
}

}  // namespace wire
