#pragma once
// The program's message boxes as GtkMessageDialogs.

#include <gtk/gtk.h>

#include <string>

// Shows text exactly (a "\n" breaks the line), modal over owner (may be
// null), with OK, or Yes and No (Yes the default) for MB_YESNO, and the
// question icon for MB_ICONQUESTION. Returns IDOK, IDYES or IDNO.
int RunMessageBox(GtkWindow* owner, const std::string& title, const std::string& text,
                  unsigned type);
