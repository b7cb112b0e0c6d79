#pragma once
// One simulated serial line between a host and a device, for comparing
// transfer protocols on equal terms: both directions paced at the line rate,
// the device's bytes reaching the host a turnaround later, and bits flipped
// at a seeded rate per byte. Each side's transmit buffer is what its own
// descriptor holds: the relay takes a byte off it only when the line is free
// to carry it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace bench {

struct LineModel {
  int bytesPerSecond = 11520;  // 115200 baud, 8N1
  // A pty master whose termios rate the line follows (-1: a fixed rate), and
  // the device's pty slave that is set to the same rate, so that the device
  // sees what the host chose: the rate the two ends set paces the line.
  int followRateOf = -1;
  int mirrorRateTo = -1;
  std::chrono::milliseconds turnaround{16};
  double flipPerByte = 0;
  std::uint64_t seed = 1;
};

// Where one side's bytes come from and where the other side's go to; the
// same descriptor for a pty master.
struct Endpoint {
  int in = -1;
  int out = -1;
};

class LineRelay {
 public:
  LineRelay(Endpoint host, Endpoint device, LineModel model);
  ~LineRelay();
  LineRelay(const LineRelay&) = delete;
  LineRelay& operator=(const LineRelay&) = delete;

  // Bytes damaged so far, both directions.
  long flips() const { return flips_.load(); }

 private:
  void Run();

  Endpoint host_, device_;
  LineModel model_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::atomic<long> flips_{0};
  std::thread thread_;
};

}  // namespace bench
