#include "kestra2g/reported_counters.h"

#include "kestra2g/by_port.h"

namespace kestra2g {
namespace {

ByPort<std::uint32_t>& Counters() {
  static ByPort<std::uint32_t> counters;
  return counters;
}

}  // namespace

// The latest report stands: a remote raises its counter when it activates.
void NoteReportedCounter(int port, std::uint32_t counter) {
  Counters().Put(port, counter, [](std::uint32_t, std::uint32_t latest) { return latest; });
}

std::optional<std::uint32_t> ReportedCounter(int port) { return Counters().Get(port); }

}  // namespace kestra2g
