#pragma once
// The Win32 backend of the window layer: dialogs from in-memory templates
// (DialogBoxIndirectParamA), common controls, window timers, the system
// menu, message boxes and posts through a message-only window.

#include <memory>

#include "window/backend.h"

// Registers the common control classes and the post window's class. Null
// when the user-interface services cannot be set up.
std::unique_ptr<Backend> CreateWin32Backend();
