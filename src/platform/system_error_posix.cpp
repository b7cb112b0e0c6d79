#include <cstring>

#include "platform/system_error.h"

namespace platform {

std::string SystemErrorText(unsigned long code) {
  // strerror may share one buffer between threads: the library and the
  // program report failures from several.
  char buffer[256] = {};
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);  // the GNU variant
}

}  // namespace platform
