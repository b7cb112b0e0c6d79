#pragma once
// Strings of the resource script that the other builds install from code:
// written once, read by both (so macros, not constants).

#define REFLINT_ABOUT_ENTRY_TEXT "&About..."
