#pragma once
// The device's side of a stream sent by offset (DATA-DEFLATED, DATA-DELTA):
// pieces that may come out of order or twice, handed on in order to the
// decoder that writes the image. Memory is bounded: at most `keepAhead`
// stream bytes beyond the next expected one are taken, and at most twice
// that kept beyond a gap. Once the decoder refuses the stream it stays
// refused.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

namespace emulator {

class OrderedStream {
 public:
  enum class Result {
    Ok,       // taken; nothing missing before it
    Gap,      // taken; something before it is still missing
    Dropped,  // beyond what the device keeps: not taken
    Failed,   // the stream is refused
  };
  // Takes the next bytes of the stream, in order; false refuses the stream.
  using Feed = std::function<bool(std::span<const std::uint8_t>)>;

  explicit OrderedStream(std::size_t keepAhead) : keepAhead_(keepAhead) {}

  // A new stream; `failed` for one that cannot even start.
  void Restart(bool failed = false);
  Result Take(std::uint32_t offset, std::span<const std::uint8_t> bytes, const Feed& feed);

  std::uint32_t next() const { return next_; }  // next stream offset expected
  bool failed() const { return failed_; }

 private:
  void Pass(std::span<const std::uint8_t> bytes, const Feed& feed);

  std::size_t keepAhead_;
  std::uint32_t next_ = 0;
  bool failed_ = true;  // no stream before Restart
  std::map<std::uint32_t, std::vector<std::uint8_t>> ahead_;
  std::size_t aheadBytes_ = 0;
};

}  // namespace emulator
