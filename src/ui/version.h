#pragma once
// The program's version, once: read by the C++ code and by the Windows
// resource script (so macros, not constants).

#define REFLINT_VERSION_MAJOR 2
#define REFLINT_VERSION_MINOR 1
#define REFLINT_VERSION_PATCH 3
#define REFLINT_VERSION_BUILD 0
#define REFLINT_VERSION_TEXT "2, 1, 3, 0"
#define REFLINT_VERSION_LANGUAGE_KEY "040904B0"
