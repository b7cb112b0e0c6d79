#pragma once
// Services of the window layer that any thread may use.

#include <functional>
#include <string>

#include "window/window_types.h"

// Message box with an exact text. From a worker thread the box is shown by
// the user-interface thread and the call waits until it is dismissed.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK);

// Runs task on the user-interface thread (asynchronously).
void PostToUiThread(std::function<void()> task);

// Runs task on the user-interface thread and waits for it to finish; runs it
// at once when already there.
void RunOnUiThread(const std::function<void()>& task);

// The busy cursor: Begin/End nest; Restore shows it again after a dialog or
// message box took it away.
void BeginWaitCursor();
void RestoreWaitCursor();
void EndWaitCursor();
