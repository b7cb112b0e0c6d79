#include "window/gtk/dialog_units.h"

#include <cstdint>

int AverageCharWidth(int widthOfAlphabetPixels) {
  // 52 letters, rounded to the nearest pixel.
  return (widthOfAlphabetPixels / 26 + 1) / 2;
}

int MulDiv(int value, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = (denominator > 0 ? denominator : -denominator) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t magnitude = (product < 0 ? -product : product) + half;
  const std::int64_t quotient = magnitude / (denominator > 0 ? denominator : -denominator);
  return static_cast<int>(negative ? -quotient : quotient);
}

int DialogUnitsToPixelsX(const DialogBaseUnits& base, int units) {
  return MulDiv(units, base.x, 4);
}

int DialogUnitsToPixelsY(const DialogBaseUnits& base, int units) {
  return MulDiv(units, base.y, 8);
}

PixelRect DialogRectToPixels(const DialogBaseUnits& base, int x, int y, int cx, int cy) {
  // Position and size are converted separately, as Windows does, so that
  // adjacent controls may overlap or leave a pixel gap exactly as there.
  return {DialogUnitsToPixelsX(base, x), DialogUnitsToPixelsY(base, y),
          DialogUnitsToPixelsX(base, cx), DialogUnitsToPixelsY(base, cy)};
}
