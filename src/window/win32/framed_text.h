#pragma once
// A static text in a sunken border draws its text right against the frame;
// this one keeps a small margin inside it, as the GTK program does.

#include "window/win32/win32_api.h"

// Subclasses the static control; it undoes itself when the control goes.
void KeepTextOffFrame(HWND staticControl);
