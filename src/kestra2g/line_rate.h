#pragma once
// A faster line for the long transfer: both ends switch to the highest rate
// the device lists and the port runs, proven by one exchange, and come back
// to the base rate before the call goes on at its usual pace.

#include <cstdint>

#include "kestra2g/link.h"
#include "kestra2g/wire/protocol.h"

namespace kestra2g {

// Tries the rates above the base rate that `device` lists and the port
// allows, highest first; a rate whose proving exchange fails costs a short
// wait while the device returns to the base rate by itself. Returns the
// rate reached (the base rate when none), each step in the support log.
std::uint32_t RaiseRate(Link& link, const wire::HelloInfo& device);

// Back to the base rate, both ends; best effort (the device also returns by
// itself after a while without a valid frame).
void ReturnToBaseRate(Link& link);

}  // namespace kestra2g
