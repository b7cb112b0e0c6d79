#pragma once
// The percentage line's text for a progress the device library reports.

#include <cstdint>
#include <string>

// The number as returned (a negative one with its sign), a space, "%".
std::string FormatProgressText(std::int32_t progress);
