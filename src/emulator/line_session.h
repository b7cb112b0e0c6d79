#pragma once
// Runs the emulated remote on the pty master: paces bytes as a real line
// would, injects the planned faults, feeds the device and writes its answers.

#include <cstdio>
#include <memory>
#include <string>

#include "emulator/options.h"

namespace emulator {

enum class SessionEnd { Stopped, Disconnected, Failed };

// Runs until the signal pipe says stop ('S'; 'R' presses RESET), a planned
// disconnect happens or the line fails.
SessionEnd RunLineSession(const Options& options, int master, int signalFd, std::FILE* log);

}  // namespace emulator
