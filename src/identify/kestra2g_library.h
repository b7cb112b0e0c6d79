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
// Unavailable when the file cannot be loaded or lacks one of the 23
// functions: one text for the user that names the file (and the missing
// function), and the system's reason for the support log. Kestra2G_Revert
// is looked up too; without it the library loads and cannot revert. The library is
// safe to call from several threads at once.
LibraryResult LoadDeviceLibrary(const std::string& folder);
