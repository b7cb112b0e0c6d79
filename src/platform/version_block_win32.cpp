// The executable's VERSIONINFO resource through the version API.
#include <windows.h>

#include "platform/version_block.h"

namespace platform {

std::vector<std::uint8_t> ReadVersionBlock(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return {};
  return block;
}

std::optional<std::string> QueryVersionString(std::span<const std::uint8_t> block,
                                              std::string_view subBlock) {
  if (block.empty()) return std::nullopt;
  // VerQueryValueA may rewrite the block (it converts texts in place).
  std::vector<std::uint8_t> copy(block.begin(), block.end());
  const std::string name(subBlock);
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(copy.data(), name.c_str(), reinterpret_cast<void**>(&value), &length) ||
      value == nullptr) {
    return std::nullopt;
  }
  return std::string(value, strnlen(value, length));
}

}  // namespace platform
