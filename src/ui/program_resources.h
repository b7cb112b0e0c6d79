#pragma once
// Makes the program's icons, animation clip and strings known to the window
// layer. Safe to call more than once.

void InstallProgramResources();
