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

// A switch asked for before the device's rates are known: right behind
// HELLO, at the rate most devices and adapters run (or the next lower one
// when that failed on the port), so that the usual case costs no round trip
// of its own.
struct SwitchAskedAhead {
  std::uint32_t rate;
  std::uint8_t seq;
};

// Sends SET-RATE for the likely rate when the port runs it. A device that
// does not list that rate refuses it, one from before rate switching ignores
// it; either way the call goes on as if it had not been asked.
std::optional<SwitchAskedAhead> AskSwitchAhead(Link& link);

// Sends `request` at the highest rate that holds: tries the rates above the
// base rate that `device` lists and the port allows, highest first, each
// proven by `request`'s answer (any status). A rate whose proof brings no
// valid answer costs a short wait while the device returns to the base rate
// by itself; the call then stays at the base rate, and no later call in the
// process tries that rate, or a higher one, on this port again. Without a
// rate that holds, `request` goes at the base rate with `attempts`. Returns its answer, as
// Link::Exchange does; the rate reached and each failed try go to the support log. `ahead` is used
// up.
std::optional<std::vector<std::uint8_t>> ExchangeAtBestRate(
    Link& link, const wire::HelloInfo& device, std::optional<SwitchAskedAhead>& ahead,
    wire::Request request, std::span<const std::uint8_t> payload, Attempts attempts);

// Back to the base rate, both ends; best effort (the device also returns by
// itself after a while without a valid frame). A switch asked ahead and never
// followed (the call failed before) is waited out: the device returns when
// no valid frame comes at the new rate.
void ReturnToBaseRate(Link& link, std::optional<SwitchAskedAhead>& ahead);

// The device went back to the base rate by itself (a restart): our end follows.
void FollowToBaseRate(Link& link);

}  // namespace kestra2g
