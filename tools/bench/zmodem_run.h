#pragma once
// The peer on the same line: Debian's lrzsz sends a file with ZMODEM (sz to
// rz) through the relay of line_relay.h, each side writing into a pipe that
// is the sender's buffer.

#include <chrono>
#include <filesystem>

#include "bench/line_relay.h"

namespace bench {

struct PeerOutcome {
  bool ok = false;     // both ended well and rz holds the file byte for byte
  double seconds = 0;  // from the start of both to rz's end
};

// The line runs at `line.bytesPerSecond` throughout; a transfer not done
// within `limit` fails.
PeerOutcome RunZmodem(const std::filesystem::path& file, const LineModel& line,
                      std::chrono::seconds limit, const std::filesystem::path& work);

}  // namespace bench
