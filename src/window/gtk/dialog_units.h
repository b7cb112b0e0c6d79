#pragma once
// Dialog units to pixels, the way Windows does it: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth
// of its height.

struct DialogBaseUnits {
  int x = 6;   // average character width in pixels
  int y = 13;  // character height in pixels
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

// Average width as Windows computes it from the width of "A".."Z""a".."z".
int AverageCharWidth(int widthOfAlphabetPixels);

// value * numerator / denominator rounded half away from zero, like MulDiv.
int MulDiv(int value, int numerator, int denominator);

int DialogUnitsToPixelsX(const DialogBaseUnits& base, int units);
int DialogUnitsToPixelsY(const DialogBaseUnits& base, int units);
PixelRect DialogRectToPixels(const DialogBaseUnits& base, int x, int y, int cx, int cy);
