#pragma once
// Downloads through the real device library into remote-emulator, over the
// simulated line of line_relay.h.

#include <filesystem>
#include <string>
#include <vector>

#include "bench/line_relay.h"

namespace bench {

// The remote at the other end of the line.
struct RemoteModel {
  std::string rates = "115200";   // --rates: what its boot loader runs
  int answerMs = 0;               // --turnaround-ms: how long it takes to answer
  bool inflates = true;           // takes compressed data
  std::vector<std::string> more;  // further emulator options (faults)
};

struct CallOutcome {
  bool ok = false;                      // succeeded, and the remote holds the file byte for byte
  double seconds = 0;                   // the whole Qarnel_DownloadMOTCF
  std::vector<std::string> log;         // the emulator's log lines of this call
  std::vector<std::string> libraryLog;  // the support log's lines of this call
  long largestHostBuffer = 0;           // bytes the host's sender buffer held at most
};

// `calls` downloads of `firmware` in a row, in this process, through one
// relay into one remote, on a port no earlier run used. The line starts at 115200 and follows the
// rate the library sets on its port.
std::vector<CallOutcome> RunReflint(const std::filesystem::path& firmware,
                                    const RemoteModel& remote, LineModel line, int calls,
                                    const std::string& emulatorPath,
                                    const std::filesystem::path& work);

}  // namespace bench
