#include "platform/error.h"

#include "platform/system_error.h"

namespace platform {

std::string Error::Describe() const {
  std::string out = what;
  const auto part = [&out](const std::string& piece) {
    if (piece.empty()) return;
    if (!out.empty()) out += ": ";
    out += piece;
  };
  part(stage);
  part(reason);
  if (code != 0) {
    const std::string system = text + ", system error " + std::to_string(code);
    if (reason.empty()) {
      part(system);
    } else {
      out += " (" + system + ")";
    }
  }
  return out;
}

Error SystemFailure(std::string what, std::string stage, long code) {
  return Error{std::move(what),
               std::move(stage),
               {},
               code,
               SystemErrorText(static_cast<unsigned long>(code))};
}

Error Refusal(std::string what, std::string stage, std::string reason) {
  return Error{std::move(what), std::move(stage), std::move(reason), 0, {}};
}

}  // namespace platform
