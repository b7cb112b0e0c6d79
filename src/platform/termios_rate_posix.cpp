#include "platform/termios_rate.h"

namespace platform {
namespace {

struct Rate {
  speed_t speed;
  std::uint32_t baud;
};

// The standard rates; above 115200 the ones USB-serial adapters run.
constexpr Rate kRates[] = {{B9600, 9600},       {B19200, 19200},     {B38400, 38400},
                           {B57600, 57600},     {B115200, 115200},   {B230400, 230400},
                           {B460800, 460800},   {B500000, 500000},   {B576000, 576000},
                           {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
                           {B1500000, 1500000}, {B2000000, 2000000}};

}  // namespace

speed_t TermiosSpeed(std::uint32_t baud) {
  for (const Rate& r : kRates) {
    if (r.baud == baud) return r.speed;
  }
  return B0;
}

std::uint32_t TermiosBaud(speed_t speed) {
  for (const Rate& r : kRates) {
    if (r.speed == speed) return r.baud;
  }
  return 0;
}

}  // namespace platform
