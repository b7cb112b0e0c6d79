#pragma once
// The console a command-line program runs in: whether a stream is a
// terminal, and Ctrl+C taken as a request instead of an end.

#include <optional>
#include <string>

namespace platform {

enum class Stream { kIn, kOut, kErr };

bool IsTerminal(Stream stream);

// From now on Ctrl+C (SIGINT, SIGTERM; the console's Ctrl+C and Ctrl+Break
// on Windows) only sets the flag that Interrupted() reads.
void CatchInterrupt();
bool Interrupted();

// One line typed on standard input, without its line end; none at the end
// of input or once Interrupted(), also when Ctrl+C came just before the
// wait began.
std::optional<std::string> ReadInputLine();

}  // namespace platform
