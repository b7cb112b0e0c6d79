#pragma once
// One simulated serial line between a host and a device, for comparing
// transfer protocols on equal terms. Each direction has a sender's buffer
// (a USB-serial adapter's FIFO: the writer blocks while it is full), paces
// its bytes at the rate both ends run, delivers them a fixed latency after
// they left the line, and flips bits at a seeded rate per byte. How long the
// device takes to answer is the device's own business, not the line's.

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
  std::chrono::milliseconds latencyUp{16};    // host to device
  std::chrono::milliseconds latencyDown{16};  // device to host
  // Bytes a sender may have written that the line has not carried yet.
  int senderBuffer = 4096;
  double flipPerByte = 0;
  std::uint64_t seed = 1;
};

// Where one side's bytes come from and where the other side's go to; the
// same descriptor for a pty master.
struct Endpoint {
  int in = -1;
  int out = -1;
  // The buffer `in` keeps by itself before its writer blocks (a pipe's
  // size); the relay holds only the rest of the sender's buffer. 0: `in`
  // would take any amount (a pty), so the relay takes everything at once.
  int ownBuffer = 0;
  // A terminal of the writer's that is stopped (tcflow) while the sender's
  // buffer is full, so that its writes block; -1 for none. A pty passes a
  // write on in pieces of up to 2 KiB, so it is stopped while a piece would
  // no longer fit.
  int stopWriter = -1;
};

class LineRelay {
 public:
  LineRelay(Endpoint host, Endpoint device, LineModel model);
  ~LineRelay();
  LineRelay(const LineRelay&) = delete;
  LineRelay& operator=(const LineRelay&) = delete;

  // Bytes damaged so far, both directions.
  long flips() const { return flips_.load(); }
  // The most bytes the host's buffer held at once: above the model's size
  // when a burst of writes got in before the relay could stop the writer (a
  // pty takes them before its reader sees the first). The line's timing is
  // the same; only the writer's calls returned sooner than on a real FIFO.
  long largestHostBuffer() const { return largestHost_.load(); }

 private:
  void Run();

  Endpoint host_, device_;
  LineModel model_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::atomic<long> flips_{0};
  std::atomic<long> largestHost_{0};
  std::thread thread_;
};

}  // namespace bench
