#pragma once
// A container that is exactly as large as its size request, whatever its
// child asks for, gives the child all of it and clips the child's drawing to
// it: a control keeps its dialog rectangle as on Windows, and a static text
// too long for it is cut off at its edge instead of growing over its
// neighbours.

#include <gtk/gtk.h>

GtkWidget* ClipBoxNew(GtkWidget* child);
