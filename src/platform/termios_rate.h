#pragma once
// The line rates termios names (POSIX only): a rate in baud and the speed
// constant that sets it, both ways.

#include <termios.h>

#include <cstdint>

namespace platform {

// The speed constant for `baud`; B0 when termios names no such rate.
speed_t TermiosSpeed(std::uint32_t baud);
// The rate in baud a speed constant stands for; 0 for one not named here.
std::uint32_t TermiosBaud(speed_t speed);

}  // namespace platform
