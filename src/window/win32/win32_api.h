#pragma once
// The Win32 headers, included after the window layer's own headers: the
// layer names some constants and methods the way Win32 does (IDOK, MB_OK,
// Backend::MessageBox), and the headers would otherwise turn them into
// macros. Only the backend's .cpp files include this.

// Declared before the macros exist, whatever order a file includes in.
#include "window/backend.h"
#include "window/dialog.h"
#include "window/window_types.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// The common controls need the types above.
#include <commctrl.h>
#include <dbt.h>

// The A/W-selecting macros that collide with names of the window layer.
#undef MessageBox
#undef SetWindowText
#undef GetWindowText
#undef DrawText
