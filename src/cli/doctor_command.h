#pragma once
// `doctor`: what stands between the user and the remote on each port the
// program would list and each USB-serial bridge on the bus, the most likely
// cause first with its fix, and whether a remote answers somewhere.

#include "cli/events.h"

// port 0: every port. Exit 0 when a remote answers on some port, 3 when none does.
int RunDoctor(int port, Output& output);
