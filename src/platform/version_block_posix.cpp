// The version block lives in an ELF section of the executable; it is read
// back from the file, not from memory, so that it is the file's own.
#include <elf.h>

#include <cstring>
#include <fstream>

#include "platform/version_block.h"
#include "platform/version_block_format.h"

namespace platform {

namespace {

// Larger sections are not version blocks (a VS_VERSIONINFO length is 16 bits).
constexpr std::uint64_t kMaxBlockSize = 0xFFFF;

bool ReadAt(std::ifstream& file, std::uint64_t offset, void* out, std::size_t size) {
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
  return file.good();
}

}  // namespace

std::vector<std::uint8_t> ReadVersionBlock(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  Elf64_Ehdr header{};
  if (!ReadAt(file, 0, &header, sizeof header)) return {};
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum) {
    return {};
  }
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!ReadAt(file, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
    return {};
  }
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  if (names.sh_size > (1u << 20)) return {};
  std::string nameTable(names.sh_size, '\0');
  if (!ReadAt(file, names.sh_offset, nameTable.data(), nameTable.size())) return {};

  for (const Elf64_Shdr& section : sections) {
    if (section.sh_name >= nameTable.size()) continue;
    if (std::strcmp(nameTable.c_str() + section.sh_name, kVersionSectionName) != 0) continue;
    if (section.sh_type == SHT_NOBITS || section.sh_size > kMaxBlockSize) return {};
    std::vector<std::uint8_t> block(section.sh_size);
    if (!ReadAt(file, section.sh_offset, block.data(), block.size())) return {};
    return block;
  }
  return {};
}

std::optional<std::string> QueryVersionString(std::span<const std::uint8_t> block,
                                              std::string_view subBlock) {
  return version_format::FindString(block, subBlock);
}

}  // namespace platform
