#pragma once
// Where a minimised window draws its icon: centred in the client area,
// rounding half up; a client area smaller than the icon gives a negative
// offset, truncated toward zero like any signed integer division.

constexpr int CentredIconOffset(int clientExtent, int iconExtent) {
  return (clientExtent - iconExtent + 1) / 2;
}

static_assert(CentredIconOffset(20, 32) == -5);
static_assert(CentredIconOffset(64, 32) == 16);
