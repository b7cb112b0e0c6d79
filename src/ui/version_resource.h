#pragma once
// The program's version block. On Windows it is the VERSIONINFO resource of
// reflint.rc; elsewhere the same bytes are placed in the executable's
// ".reflint_version" section by version_resource.cpp.

#include <cstddef>

// Size of the block carried by the executable (0 on Windows, where the
// resource compiler adds it). Referencing it makes the linker keep the block
// in every program that reads its version.
std::size_t EmbeddedVersionBlockSize();
