#pragma once
// The device's side of a compressed image: pieces of one zlib stream, some
// out of order, inflated straight into the erased flash. Memory is bounded:
// zlib's state with a window of 2^windowBits bytes, and at most `keepAhead`
// stream bytes beyond a gap. A stream that is corrupt, asks for a larger
// window, runs past the flash it was given or goes on after its end is
// refused for good; nothing is ever written outside that flash.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace emulator {

class StreamInflater {
 public:
  enum class Result {
    Ok,       // taken; nothing missing before it
    Gap,      // taken; something before it is still missing
    Dropped,  // beyond what the device keeps: not taken
    Failed,   // the stream is refused
  };

  StreamInflater(int windowBits, std::size_t keepAhead);
  ~StreamInflater();
  StreamInflater(const StreamInflater&) = delete;
  StreamInflater& operator=(const StreamInflater&) = delete;

  // A new stream that inflates into `flash`.
  void Restart(std::span<std::uint8_t> flash);
  Result Take(std::uint32_t offset, std::span<const std::uint8_t> bytes);

  std::uint32_t next() const { return next_; }      // next stream offset expected
  std::size_t written() const { return written_; }  // image bytes inflated so far

 private:
  void Feed(std::span<const std::uint8_t> bytes);

  struct ZState;
  std::unique_ptr<ZState> z_;
  int windowBits_;
  std::size_t keepAhead_;
  std::span<std::uint8_t> flash_;
  std::uint32_t next_ = 0;
  std::size_t written_ = 0;
  bool ended_ = false, failed_ = true;  // no stream before Restart
  std::map<std::uint32_t, std::vector<std::uint8_t>> ahead_;
  std::size_t aheadBytes_ = 0;
};

}  // namespace emulator
