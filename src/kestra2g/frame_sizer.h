#pragma once
// Chooses the size of data blocks from what the line does to frames: small
// blocks when many are damaged or lost, the device's largest while the line
// is clean. For a per-byte error rate p and h bytes of overhead per frame the
// best block is near sqrt(h / p).

#include <cstddef>

namespace kestra2g {

class FrameSizer {
 public:
  FrameSizer(std::size_t maxBlock, std::size_t minBlock, std::size_t overhead);

  // One frame of `wireBytes` bytes on the line arrived, or was lost/damaged.
  void Delivered(std::size_t wireBytes) { Count(wireBytes, false); }
  void Lost(std::size_t wireBytes) { Count(wireBytes, true); }

  // Estimated probability that a byte is damaged; 0 while nothing was lost.
  double ErrorRate() const;
  std::size_t Block() const;

 private:
  void Count(std::size_t wireBytes, bool lost);

  std::size_t max_, min_, overhead_;
  // Counts that fade with the bytes sent since, so the estimate follows the line.
  double delivered_ = 0, lost_ = 0, bytes_ = 0;
};

}  // namespace kestra2g
