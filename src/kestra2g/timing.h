#pragma once
// Time-outs and resend counts of every exchange with the device.

#include <chrono>

#include "kestra2g/link.h"

namespace kestra2g::timing {

using std::chrono::milliseconds;

inline constexpr Attempts kQuery{milliseconds(250), 3};
inline constexpr Attempts kHello{milliseconds(250), 3};
inline constexpr Attempts kCommand{milliseconds(1000), 3};
// Erasing flash takes the device a while.
inline constexpr Attempts kErase{milliseconds(10000), 2};
inline constexpr Attempts kVerify{milliseconds(5000), 3};

// Catching a boot loader: how long to keep asking, and how often.
inline constexpr milliseconds kCatchFor{2500};
inline constexpr milliseconds kCatchEvery{20};

// Data transfer: wait this long past the line time of the frames in flight
// before resending from the first unacknowledged byte; give up after this
// many such time-outs in a row.
inline constexpr milliseconds kAckSlack{250};
inline constexpr int kDataTimeouts = 6;
// Line time of one byte at 115200 8N1, in microseconds (rounded up).
inline constexpr int kByteMicros = 87;
// The largest data block we send, whatever the device offers.
inline constexpr int kMaxDataBlock = 4096;
inline constexpr int kMaxWindow = 16;

}  // namespace kestra2g::timing
