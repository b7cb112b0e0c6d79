#include <sys/utsname.h>

#include "platform/system_name.h"

namespace platform {

std::string SystemDescription() {
  utsname u{};
  if (uname(&u) != 0) return "unknown system";
  return std::string(u.sysname) + " " + u.release + " " + u.machine;
}

}  // namespace platform
