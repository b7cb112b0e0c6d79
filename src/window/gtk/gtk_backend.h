#pragma once
// The GTK 3 backend of the window layer.

#include <memory>

#include "window/backend.h"

// Initialises GTK with the program's arguments. Null when no display can be
// opened; the caller tells the user.
std::unique_ptr<Backend> CreateGtkBackend(int* argc, char*** argv);
