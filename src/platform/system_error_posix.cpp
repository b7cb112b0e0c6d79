#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/system_error.h"

namespace platform {

std::string SystemErrorText(unsigned long code) {
  // strerror may share one buffer between threads: the library and the
  // program report failures from several.
  char buffer[256] = {};
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);  // the GNU variant
}

Error LastSystemFailure(std::string what, std::string stage) {
  const int code = errno;
  return SystemFailure(std::move(what), std::move(stage), code);
}

}  // namespace platform
