#pragma once
// Picks one image out of an ICO file so that the toolkit's loader, which
// takes the largest, loads the size we want.

#include <cstdint>
#include <span>
#include <vector>

// A one-image ICO file holding the entry whose width is nearest to size
// (the deeper colour depth on a tie). Empty when the data is not an ICO.
std::vector<std::uint8_t> SelectIcoImage(std::span<const std::uint8_t> ico, int size);
