#include "window/win32/win32_icons.h"

#include <cstdint>
#include <vector>

#include "window/resources.h"

namespace {

std::uint16_t ReadWord(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t ReadDword(const unsigned char* p) {
  return ReadWord(p) | (static_cast<std::uint32_t>(ReadWord(p + 2)) << 16);
}

// ICO header: reserved 0, type 1, count; then 16-byte entries.
constexpr std::size_t kIcoHeaderSize = 6;
constexpr std::size_t kIcoEntrySize = 16;

}  // namespace

HICON IconFromIcoFile(const unsigned char* file, std::size_t length, int sizePixels) {
  if (length < kIcoHeaderSize || ReadWord(file) != 0 || ReadWord(file + 2) != 1) return nullptr;
  const std::size_t count = ReadWord(file + 4);
  if (count == 0 || length < kIcoHeaderSize + count * kIcoEntrySize) return nullptr;
  const unsigned char* best = nullptr;
  int bestSize = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* entry = file + kIcoHeaderSize + i * kIcoEntrySize;
    const int size = entry[0] == 0 ? 256 : entry[0];
    const bool better = size == sizePixels || (bestSize != sizePixels && size > bestSize);
    if (better) {
      best = entry;
      bestSize = size;
    }
  }
  const std::uint32_t bytes = ReadDword(best + 8);
  const std::uint32_t offset = ReadDword(best + 12);
  if (offset > length || bytes > length - offset) return nullptr;
  // CreateIconFromResourceEx does not promise to leave its input alone.
  std::vector<unsigned char> image(file + offset, file + offset + bytes);
  return CreateIconFromResourceEx(image.data(), bytes, TRUE, 0x00030000, sizePixels, sizePixels,
                                  LR_DEFAULTCOLOR);
}

Win32IconCache::~Win32IconCache() {
  for (auto& [key, icon] : icons_)
    if (icon != nullptr) DestroyIcon(icon);
}

// The executable's own icon resource first; the program's embedded ICO bytes
// (the same files) where a program carries no resource script.
HICON Win32IconCache::Get(int iconResourceId, int sizePixels) {
  const auto key = std::make_pair(iconResourceId, sizePixels);
  if (auto found = icons_.find(key); found != icons_.end()) return found->second;
  HICON icon =
      static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconResourceId),
                                    IMAGE_ICON, sizePixels, sizePixels, LR_DEFAULTCOLOR));
  if (icon == nullptr) {
    const auto file = LoadIconResource(iconResourceId);
    if (!file.empty()) icon = IconFromIcoFile(file.data(), file.size(), sizePixels);
  }
  icons_.emplace(key, icon);
  return icon;
}
