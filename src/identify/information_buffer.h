#pragma once
// The buffer an information query writes its text into. The library is given
// no length, so the buffer is zero-filled before every call and its text is
// read only up to the first NUL within the buffer's 255 bytes: a library that
// fills every byte cannot make us read past the end. One spare byte behind
// the 255 absorbs a library that writes a full 255-byte text plus its NUL.

#include <array>
#include <string>

#include "identify/device_library.h"

class InformationBuffer {
 public:
  // Zero-fills the buffer and returns it for the library to write into.
  char* Cleared();
  // The text up to the first NUL, at most kInformationBufferSize bytes.
  std::string Text() const;

 private:
  std::array<char, kInformationBufferSize + 1> bytes_{};
};
