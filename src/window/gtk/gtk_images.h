#pragma once
// Pixbufs made from the program's resources: icons from their ICO bytes,
// clip frames from the RGBA the AVI reader gives.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <vector>

#include "window/gtk/gobject_ref.h"

// The icon resource at size x size pixels; null when there is none.
GObjectRef<GdkPixbuf> LoadIconPixbuf(int iconResourceId, int size);

// A pixbuf owning a copy of width * height RGBA pixels.
GObjectRef<GdkPixbuf> PixbufFromRgba(const std::vector<std::uint8_t>& rgba, int width, int height);
