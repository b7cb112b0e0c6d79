#pragma once
// Several remotes at once: one child process per port (the device library
// may keep global state and serves one port at a time), a summary at the end.

#include <optional>
#include <string>
#include <vector>

#include "cli/events.h"
#include "cli/options.h"

// Runs `update --port N` in a child for each port; exit 0 only when every
// port was updated.
int RunParallelUpdate(const UpdateOptions& options, const std::vector<int>& ports, Output& output);

// The ports a summary (the JSON lines of an earlier --json run) names as not
// updated; none with the reason in *error when the file holds no results.
std::optional<std::vector<int>> FailedPorts(const std::string& summaryPath, std::string* error);
