#include "platform/port_scan.h"

#include "platform/serial_port.h"

CPortScan::CPortScan() : CPortScan(Probe(platform::ProbePort)) {}

CPortScan::CPortScan(const Probe& probe) {
  for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
    if (probe(n)) ports_.push_back(n);
  }
}

int CPortScan::GetCount() const { return static_cast<int>(ports_.size()); }

std::int32_t CPortScan::GetAt(int index) const {
  if (index < 0 || index >= GetCount()) return 0;
  return ports_[index];
}
