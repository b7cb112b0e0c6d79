#pragma once
// What remote-emulator's log ("<seconds> NAME" per request received, "RATE n"
// per switch) tells about one download: the rate the data went at, the
// raised rates tried, and where the time went.

#include <string>
#include <vector>

namespace bench {

// The rate the device ran when the first data frame arrived (0: none came).
int DataRate(const std::vector<std::string>& log);

// The rates above 115200 the device switched to, in order: each try of a
// raised rate.
std::vector<int> RaisedRatesTried(const std::vector<std::string>& log);

// Seconds from the first data frame to the last, as the device saw them.
double DataSeconds(const std::vector<std::string>& log);

// The time between one data frame's arrival and the next, in seconds: the
// median and the 90th percentile (0 without two frames). A line kept busy
// shows the frame's line time; more is the sender waiting.
struct Spacing {
  double median = 0, p90 = 0;
};
Spacing DataSpacing(const std::vector<std::string>& log);

// The log as one line: each entry with its time from the first, runs of data
// frames folded into one, then the longest silences between entries (the
// waits the call cost at the device's end).
std::string Digest(const std::vector<std::string>& log);

}  // namespace bench
