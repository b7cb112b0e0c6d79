#pragma once
// The bytes of the resource files in src/ui/resources (drawn by
// tools/make_resources.py), built into the program.

#include <cstdint>
#include <span>

std::span<const std::uint8_t> AppIconFile();       // icon 128, app.ico
std::span<const std::uint8_t> WarningIconFile();   // icon 129, warning.ico
std::span<const std::uint8_t> TransferClipFile();  // clip 132, transfer.avi
