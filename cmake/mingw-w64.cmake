# Cross-compiles the Windows build with mingw-w64 on Debian and runs its
# programs (tests, test discovery) under wine, through scripts/wine-checked.
# x86-64 by default; cmake/mingw-w64-i686.cmake sets REFLINT_MINGW_ARCH to
# i686 first.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED REFLINT_MINGW_ARCH)
  set(REFLINT_MINGW_ARCH x86_64)
endif()
if(REFLINT_MINGW_ARCH STREQUAL "i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
endif()

set(_triple ${REFLINT_MINGW_ARCH}-w64-mingw32)
# The posix thread model: the win32 one has no std::thread.
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without -static the programs need the mingw runtime DLLs beside them and
# exit silently under wine when they are missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

# Wine runs 32-bit programs too, in the same 64-bit prefix (wine32 installed).
# Every test program (and its listing, when ctest runs it) runs with wine's
# heap checker on and fails on a heap fault, as ASan fails the native build.
cmake_path(ABSOLUTE_PATH CMAKE_CURRENT_LIST_DIR NORMALIZE OUTPUT_VARIABLE _root)
cmake_path(GET _root PARENT_PATH _root)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_root}/scripts/wine-checked)
