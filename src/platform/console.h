#pragma once
// The console a command-line program runs in: whether a stream is a
// terminal, and Ctrl+C taken as a request instead of an end.

namespace platform {

enum class Stream { kIn, kOut, kErr };

bool IsTerminal(Stream stream);

// From now on Ctrl+C (SIGINT, SIGTERM; the console's Ctrl+C and Ctrl+Break
// on Windows) only sets the flag that Interrupted() reads.
void CatchInterrupt();
bool Interrupted();

}  // namespace platform
