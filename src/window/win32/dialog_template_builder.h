#pragma once
// Turns a dialog template of the window layer into the Win32 in-memory
// dialog template (DLGTEMPLATE followed by its DLGITEMTEMPLATEs), the form
// DialogBoxIndirectParamA takes. Positions and sizes stay in dialog units.

#include <cstdint>
#include <vector>

#include "window/dialog_template.h"

// The template as WORDs; the vector's data is DWORD-aligned as required.
std::vector<std::uint16_t> BuildWin32DialogTemplate(const DialogTemplate& dialogTemplate);
