#pragma once
// `list` and `info`: what is on the ports, without updating anything.

#include "cli/events.h"

// Every port the window lists and every other port number the system has,
// what answers on each (unless noProbe), and why a port is not listed.
int ListPorts(bool noProbe, Output& output);

// The three identification texts of the remote on the port and what the
// identification decided.
int ShowPortInfo(int port, Output& output);
