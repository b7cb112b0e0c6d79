#pragma once
// What a job works with, handed to it by value when the job is made: after
// that it reads nothing of the run that made it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/device_family.h"
#include "identify/device_library.h"

struct JobInputs {
  std::int32_t deviceCode = kNoDeviceCode;
  std::int32_t port = 0;
  // Null when the library could not be loaded: the job then calls nothing.
  std::shared_ptr<DeviceLibrary> library;
  // The download's firmware file; none when no family is selected, and the
  // download then fails without a call.
  std::optional<std::string> firmwarePath;
};
