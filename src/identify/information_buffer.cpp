#include "identify/information_buffer.h"

#include <algorithm>

char* InformationBuffer::Cleared() {
  bytes_.fill('\0');
  return bytes_.data();
}

std::string InformationBuffer::Text() const {
  const auto end = bytes_.begin() + kInformationBufferSize;
  return std::string(bytes_.begin(), std::find(bytes_.begin(), end, '\0'));
}
