#pragma once
// The device's side of a compressed image: pieces of one zlib stream, some
// out of order, inflated straight into the erased flash. Memory is bounded:
// zlib's state with a window of 2^windowBits bytes, and what OrderedStream
// keeps beyond a gap. A stream that is corrupt, asks for a larger window,
// runs past the flash it was given or goes on after its end is refused for
// good; nothing is ever written outside that flash.

#include <cstdint>
#include <memory>
#include <span>

#include "emulator/ordered_stream.h"

namespace emulator {

class StreamInflater {
 public:
  using Result = OrderedStream::Result;

  StreamInflater(int windowBits, std::size_t keepAhead);
  ~StreamInflater();
  StreamInflater(const StreamInflater&) = delete;
  StreamInflater& operator=(const StreamInflater&) = delete;

  // A new stream that inflates into `flash`.
  void Restart(std::span<std::uint8_t> flash);
  Result Take(std::uint32_t offset, std::span<const std::uint8_t> bytes);

  std::uint32_t next() const { return stream_.next(); }  // next stream offset expected
  std::size_t written() const { return written_; }       // image bytes inflated so far

 private:
  bool Feed(std::span<const std::uint8_t> bytes);

  struct ZState;
  std::unique_ptr<ZState> z_;
  int windowBits_;
  OrderedStream stream_;
  std::span<std::uint8_t> flash_;
  std::size_t written_ = 0;
  bool ended_ = false;
};

}  // namespace emulator
