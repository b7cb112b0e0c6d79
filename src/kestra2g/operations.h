#pragma once
// The library's work behind its C functions. Each opens the port itself and
// closes it before returning, so the port is free between calls.

#include <cstdint>
#include <string>

#include "kestra2g/failure.h"
#include "kestra2g/wire/protocol.h"

namespace kestra2g {

// Leading argument of the information queries: negative means the default
// timing; a positive value is the reply time-out per attempt in milliseconds.
[[nodiscard]] Result<> QueryText(wire::QueryKind kind, std::int32_t mode, char* info,
                                 std::int32_t port);

[[nodiscard]] Result<> InitCom(std::int32_t port, std::int32_t code);
[[nodiscard]] Result<> CatchBoot(std::int32_t port, std::int32_t code);
// A failure carries the download's job it came out of as its stage.
[[nodiscard]] Result<> Download(const char* firmwarePath, std::int32_t port, std::int32_t code);

// Outside the maker's functions (Kestra2GRevert.h): the previous image's
// version; with apply 1 that image runs from then on.
[[nodiscard]] Result<std::string> Revert(std::int32_t port, std::int32_t code, std::int32_t apply);

// The device code names one of our families (0-3); otherwise a bad argument.
[[nodiscard]] Result<> CheckDeviceCode(std::int32_t code);

}  // namespace kestra2g
