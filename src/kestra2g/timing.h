#pragma once
// Time-outs and resend counts of every exchange with the device. Waits for
// an answer follow the round trip the link measured (round_trip.h); the
// figures here are what the device itself may add, and the first bounds.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "kestra2g/link.h"

namespace kestra2g::timing {

using std::chrono::milliseconds;

// The round trip assumed before one is measured, and the least margin over
// a measured one. Waits double with each resend and an answer to any
// attempt will do, so three attempts hear a device answering within 1.75 s.
inline constexpr milliseconds kFirstRoundTrip{250};
inline constexpr milliseconds kRoundTripMargin{50};

inline constexpr Attempts kQuery{milliseconds(0), 3};
inline constexpr Attempts kHello{milliseconds(0), 3};
// Activate, restart, the manifest.
inline constexpr Attempts kCommand{milliseconds(0), 4};
// Erasing flash takes the device a while; so does its check sum.
inline constexpr Attempts kErase{milliseconds(1000), 5};
inline constexpr Attempts kVerify{milliseconds(500), 5};
// A revert may rewrite a header in flash. Sent once per try, since a
// repeat would swap the images back; before another try HELLO tells whether
// the last one was done.
inline constexpr Attempts kRevert{milliseconds(1000), 1};
inline constexpr int kRevertTries = 4;

// Line rate: the switch is asked at the old rate; the new one is proven by
// the call's next request, sent kProofCopies times back to back at the new
// rate and answered within kProveRate's wait. The device keeps its trial
// open for what the switch asks: long enough for that wait (and the margin
// below), and we listen for the proof's answer until the trial is over.
inline constexpr Attempts kSetRate{milliseconds(0), 3};
inline constexpr Attempts kProveRate{milliseconds(0), 1};
inline constexpr std::size_t kProofCopies = 2;
// The rate asked for right behind HELLO, before the device's list and the
// round trip are known: what USB-serial adapters and boot loaders commonly
// run, the first of these that has not failed on the port. Its trial is the device's least
// (wire::kRateTrialMs); the switch is followed only when the proof can arrive within it, the
// measured round trip and this margin (reaction of our end) after the answer.
inline constexpr std::uint32_t kLikelyRates[] = {921600, 460800, 230400};
inline constexpr milliseconds kRateTrial{wire::kRateTrialMs};
inline constexpr milliseconds kRateTrialMargin{20};
// At a raised rate the device goes back to the base rate after
// wire::kRateIdleMs without a valid frame: we never stay silent that long
// there, but ask again.
inline constexpr milliseconds kRaisedRateSilence{wire::kRateIdleMs - 500};

// Catching a boot loader: the program reads the result 1000 ms after it
// started the job, so the call ends (caught or given up) this long after it
// began, the port's opening included; meanwhile it asks this often.
inline constexpr milliseconds kCatchWithin{900};
inline constexpr milliseconds kCatchEvery{20};

// Data transfer: an answer is due this long after the line has carried the
// frame, until round trips have been measured (never less than the link's
// bound); then the measured round trip and its spread, at least
// kMinAckSlack. Each time-out in a row doubles the wait up to kMaxAckWait
// (or twice the round trip); the transfer gives up after kDataTimeouts of
// them in a row once the device has been silent for kDataSilence.
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
