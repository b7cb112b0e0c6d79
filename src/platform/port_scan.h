#pragma once
// The serial ports COM1..COM15 that could be opened exclusively when the
// object was built, in ascending order.

#include <cstdint>
#include <functional>
#include <vector>

inline constexpr int kFirstProbedPort = 1;
inline constexpr int kLastProbedPort = 15;

class CPortScan {
 public:
  // Tells whether COMn can be opened (and closes it again at once).
  using Probe = std::function<bool(int port)>;

  // Probes with platform::ProbePort.
  CPortScan();
  explicit CPortScan(const Probe& probe);
  virtual ~CPortScan() = default;

  int GetCount() const;
  // The port number at index; 0 when the index is out of range.
  std::int32_t GetAt(int index) const;

 private:
  std::vector<std::int32_t> ports_;
};
