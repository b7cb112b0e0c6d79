#pragma once
// The program's version, once: read by the C++ code and by the Windows
// resource scripts (so macros, not constants). The numbers come from the
// project's version in CMakeLists.txt.

#include "reflint_version.h"

#define REFLINT_VERSION_LANGUAGE_KEY "040904B0"
