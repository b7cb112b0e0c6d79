#pragma once
// One remote updated on one port: the window's Start Update with the
// terminal and the options in place of the dialogs.

#include "cli/events.h"
#include "cli/options.h"

class RunServices;

// Runs the update on the port; its exit code (cli/exit_codes.h). The result
// object is the last JSON line. `services` (tests) stands in for the device
// library loaded from beside the program, the clock and the threads.
int RunSingleUpdate(const UpdateOptions& options, int port, Output& output,
                    RunServices* services = nullptr);
