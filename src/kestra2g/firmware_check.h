#pragma once
// The firmware file's check, before the port is touched: signed by a key this
// library trusts, whole, made for the family asked for, and named with the
// version it holds (the name is what the user was shown).

#include <cstdint>
#include <vector>

#include "kestra2g/failure.h"
#include "kestra2g/wire/firmware_file.h"

namespace kestra2g {

struct CheckedFirmware {
  std::vector<std::uint8_t> bytes;  // the whole file
  wire::FirmwareHeader header;
};

// The file, or why it does not pass (cause FileCheck).
[[nodiscard]] Result<CheckedFirmware> CheckFirmwareFile(const char* path, std::int32_t code);

}  // namespace kestra2g
