#pragma once
// Time-outs and resend counts of every exchange with the device.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "kestra2g/link.h"

namespace kestra2g::timing {

using std::chrono::milliseconds;

inline constexpr Attempts kQuery{milliseconds(250), 3};
inline constexpr Attempts kHello{milliseconds(250), 3};
// Requests that may be repeated: the first wait, doubled with each resend.
inline constexpr Attempts kCommand{milliseconds(250), 4, true};
// Erasing flash takes the device a while; so does its check sum.
inline constexpr Attempts kErase{milliseconds(1000), 5, true};
inline constexpr Attempts kVerify{milliseconds(500), 5, true};

// Line rate: the switch is asked at the old rate; the new one is proven by
// the call's next request (kProveRate). A device that hears no valid frame
// within kRateTrial of switching goes back by itself; after a failed proof
// we wait that out (and a margin) before asking again.
inline constexpr Attempts kSetRate{milliseconds(50), 3, true};
// The rate asked for right behind HELLO, before the device's list is known:
// what USB-serial adapters and boot loaders commonly run.
inline constexpr std::uint32_t kLikelyRate = 921600;
inline constexpr Attempts kProveRate{milliseconds(30), 2, true};
inline constexpr milliseconds kRateTrial{wire::kRateTrialMs};
inline constexpr milliseconds kRateTrialMargin{10};

// Catching a boot loader: how long to keep asking, and how often.
inline constexpr milliseconds kCatchFor{2500};
inline constexpr milliseconds kCatchEvery{20};

// Data transfer: an answer is due this long after the line has carried the
// frame, until round trips have been measured; then the measured round trip
// and its spread, at least kMinAckSlack. Each time-out in a row doubles the
// wait up to kMaxAckWait; the transfer gives up after kDataTimeouts of them
// in a row once the device has been silent for kDataSilence.
inline constexpr milliseconds kAckSlack{250};
inline constexpr milliseconds kMinAckSlack{60};
inline constexpr milliseconds kMaxAckWait{2000};
inline constexpr milliseconds kDataSilence{3000};
inline constexpr int kDataTimeouts = 6;
// The largest data block we send, whatever the device offers, and the
// smallest the frame size comes down to on a bad line.
inline constexpr int kMaxDataBlock = 4096;
inline constexpr std::size_t kMinDataBlock = 64;
inline constexpr int kMaxWindow = 16;
// Frames unanswered at once; sequence numbers must stay unambiguous.
inline constexpr std::size_t kMaxFramesInFlight = 64;
// Bytes unanswered at once (two blocks at least) at the base rate, and in
// proportion at a higher one: a third of a second of line at 115200, well
// past a round trip; more would only delay resends.
inline constexpr std::size_t kInFlightBytes = 4 * 1024;

}  // namespace kestra2g::timing
