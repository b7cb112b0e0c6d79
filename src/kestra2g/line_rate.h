#pragma once
// A faster line for the call: right after HELLO both ends switch to the
// highest rate the device lists and the port runs, and the call's next
// request, answered there, proves it. The device comes back to the base rate
// by restarting at the end, or is asked back when the call fails.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "kestra2g/link.h"
#include "kestra2g/wire/protocol.h"

namespace kestra2g {

// Sends `request` at the highest rate that holds: tries the rates above the
// base rate that `device` lists and the port allows, highest first, each
// proven by `request`'s answer (any status); a rate whose proof brings no
// valid answer costs a short wait while the device returns to the base rate
// by itself. Without a rate that holds, `request` goes at the base rate with
// `attempts`. Returns its answer, as Link::Exchange does; the rate reached
// and each failed try go to the support log.
std::optional<std::vector<std::uint8_t>> ExchangeAtBestRate(Link& link,
                                                            const wire::HelloInfo& device,
                                                            wire::Request request,
                                                            std::span<const std::uint8_t> payload,
                                                            Attempts attempts);

// Back to the base rate, both ends; best effort (the device also returns by
// itself after a while without a valid frame).
void ReturnToBaseRate(Link& link);

// The device went back to the base rate by itself (a restart): our end follows.
void FollowToBaseRate(Link& link);

}  // namespace kestra2g
