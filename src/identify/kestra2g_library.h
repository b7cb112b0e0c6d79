#pragma once
// The real device library: Kestra2G, loaded at run time from the program's
// own folder, every function looked up by name.

#include <memory>
#include <string>

#include "identify/device_library.h"

// "libKestra2G.so" on Linux, "Kestra2G.dll" on Windows.
std::string DeviceLibraryFileName();

// Loads the device library from folder (the executable's folder), never from
// anywhere else: an empty folder (unknown) fails.
// Null when the file cannot be loaded or lacks one of the 23 functions; then
// *error holds one text for the user that names the file (and the missing
// function), and *systemReason the system's own words (for the support
// log) when given. The result is safe to call from several threads at once.
std::shared_ptr<DeviceLibrary> LoadDeviceLibrary(const std::string& folder, std::string* error,
                                                 std::string* systemReason = nullptr);
