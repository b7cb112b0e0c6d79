#pragma once
// Framing on the serial line, the same in both directions:
//
//   A5 5A | len (u16 LE) | ~len (u16 LE) | type | seq | payload[len] | CRC-32 (u32 LE)
//
// The CRC covers everything from len to the end of the payload. The length
// and its complement let a receiver reject a false sync at once instead of
// waiting for a bogus length's worth of bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace wire {

inline constexpr std::uint8_t kSync0 = 0xA5;
inline constexpr std::uint8_t kSync1 = 0x5A;
inline constexpr std::size_t kHeaderSize = 8;  // sync, len, ~len, type, seq
inline constexpr std::size_t kTrailerSize = 4;
inline constexpr std::size_t kOverhead = kHeaderSize + kTrailerSize;
// Largest payload either side ever sends or accepts.
inline constexpr std::size_t kMaxPayload = 4096 + 16;

struct Frame {
  std::uint8_t type = 0;
  std::uint8_t seq = 0;
  std::vector<std::uint8_t> payload;
};

std::vector<std::uint8_t> EncodeFrame(std::uint8_t type, std::uint8_t seq,
                                      std::span<const std::uint8_t> payload);

// Turns a byte stream into frames. Garbage, false syncs and frames with a bad
// CRC are skipped; decoding resumes at the next sync that checks out.
class FrameDecoder {
 public:
  explicit FrameDecoder(std::size_t maxPayload = kMaxPayload) : maxPayload_(maxPayload) {}

  void Feed(std::span<const std::uint8_t> bytes);
  // The next complete, valid frame, if one is buffered.
  std::optional<Frame> Next();
  void Clear() {
    buffer_.clear();
    start_ = 0;
  }

  // Counters for diagnostics and tests.
  std::size_t skippedBytes() const { return skipped_; }
  std::size_t badFrames() const { return badFrames_; }

 private:
  void Drop(std::size_t n);

  std::size_t maxPayload_;
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;  // bytes before start_ are consumed
  std::size_t skipped_ = 0;
  std::size_t badFrames_ = 0;
};

}  // namespace wire
