#pragma once
// The font our dialogs use and its dialog base units. Templates name
// "MS Sans Serif"; here the toolkit's sans font at the template's size
// stands for it. A style sheet gives every control of a dialog that font and
// the compact paddings a classic dialog layout needs.

#include <string>

#include "window/gtk/dialog_units.h"

inline constexpr const char* kDialogFontFamily = "Sans";

// Measures the font (GTK must be initialised). Cached per size.
DialogBaseUnits MeasureDialogBaseUnits(int pointSize);

// Installs the style sheet for that size once and returns the style class to
// put on the dialog window.
std::string DialogStyleClass(int pointSize);
