#include "kestra2g/reported_counters.h"

#include <map>
#include <mutex>

namespace kestra2g {
namespace {

std::mutex gMutex;
std::map<int, std::uint32_t> gCounters;

}  // namespace

void NoteReportedCounter(int port, std::uint32_t counter) {
  if (port < 0) return;  // not opened by number: nothing to keep it by
  const std::lock_guard lock(gMutex);
  gCounters[port] = counter;
}

std::optional<std::uint32_t> ReportedCounter(int port) {
  const std::lock_guard lock(gMutex);
  const auto it = gCounters.find(port);
  if (it == gCounters.end()) return std::nullopt;
  return it->second;
}

}  // namespace kestra2g
