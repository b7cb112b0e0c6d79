#pragma once
// `revert`: the remote runs the firmware it ran before its last update again.

#include "cli/events.h"
#include "cli/options.h"

// Finds the remote as `update` does, asks which image it would run, asks the
// person (or takes --yes), reverts; an exit code of cli/exit_codes.h.
int RunRevert(const UpdateOptions& options, int port, Output& output);
