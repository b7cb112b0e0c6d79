#include "kestra2g/wire/protocol_types.h"

#include <array>

namespace wire {
namespace {

// By status value.
constexpr std::array<const char*, static_cast<std::size_t>(kLastStatus) + 1> kStatusNames = {
    "OK",
    "gap",
    "not in the boot loader",
    "out of range",
    "flash error",
    "bad image",
    "not available",
    "bad request",
    "not erased",
    "no valid signed manifest",
    "security counter below the device's",
    "no delta section for the running image",
    "delta does not match the signed manifest",
    "no valid previous image to revert to",
};

}  // namespace

const char* StatusText(Status s) {
  const auto i = static_cast<std::size_t>(s);
  return i < kStatusNames.size() ? kStatusNames[i] : "unknown status";
}

}  // namespace wire
