#pragma once
// The device library with its calls written to the support log: each call
// with its arguments, result and duration. Job name and progress are polled
// twice a second, so only a new job name and each tenth of progress are
// written.

#include <memory>

#include "identify/device_library.h"
#include "platform/support_log.h"

// `log` must outlive the result.
std::shared_ptr<DeviceLibrary> WithCallLog(std::shared_ptr<DeviceLibrary> library,
                                           platform::SupportLog& log);
