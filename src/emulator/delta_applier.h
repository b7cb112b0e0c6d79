#pragma once
// The boot loader's side of a delta section: pieces of one zstd frame (made
// with the running payload as its prefix), some out of order, applied as
// they arrive from the running slot into the spare slot. The decoder writes
// straight into the spare slot and reads the running one where the frame
// refers to it, so its memory is bounded whatever the image's size: the
// decoder's state and one input block (MemoryUse(), about 250 KiB),
// and what OrderedStream keeps beyond a gap. The section's bytes and the
// result must match the hashes of the signed manifest; a frame that is
// corrupt, runs past the new payload's size, is longer or shorter than the
// section, or ends before its bytes do is refused for good, and nothing is
// ever written outside the spare slot's payload.

#include <cstdint>
#include <memory>
#include <span>

#include "emulator/ordered_stream.h"
#include "kestra2g/wire/signing.h"

namespace emulator {

class DeltaApplier {
 public:
  using Result = OrderedStream::Result;
  // What the signed manifest says of the section and of the new payload.
  struct Expected {
    std::uint32_t size = 0;
    wire::Sha256Digest sha256{};
    wire::Sha256Digest resultSha256{};
  };

  // `windowLog`: the largest window a frame may ask for.
  DeltaApplier(int windowLog, std::size_t keepAhead);
  ~DeltaApplier();
  DeltaApplier(const DeltaApplier&) = delete;
  DeltaApplier& operator=(const DeltaApplier&) = delete;

  // A new delta from `base` into `out`, exactly the new payload's bytes.
  void Restart(std::span<const std::uint8_t> base, std::span<std::uint8_t> out,
               const Expected& expected);
  // No delta can be taken: every piece is refused until the next Restart.
  void Refuse();
  Result Take(std::uint32_t offset, std::span<const std::uint8_t> bytes);

  std::uint32_t next() const { return stream_.next(); }  // next section offset expected
  std::size_t written() const { return written_; }       // new payload bytes written
  // The whole section came, and it and the result match the manifest.
  bool verified() const { return verified_; }
  // Decided for good: verified, or refused (a piece that failed). Until
  // then the section is only incomplete.
  bool settled() const { return verified_ || stream_.failed(); }
  // The decoder's memory now (its state and its input block).
  std::size_t MemoryUse() const;

 private:
  bool Feed(std::span<const std::uint8_t> bytes);
  bool Finish();

  struct ZState;
  std::unique_ptr<ZState> z_;
  int windowLog_;
  OrderedStream stream_;
  std::span<std::uint8_t> out_;
  Expected expected_;
  wire::Sha256Stream sectionHash_;
  std::size_t taken_ = 0;
  std::size_t written_ = 0;
  bool ended_ = false;
  bool verified_ = false;
};

}  // namespace emulator
