#pragma once
// The program's resources (icons, AVI clip, strings) as the backends see
// them. The program installs its table once at start; the window layer does
// not know what the resources are.

#include <cstdint>
#include <span>
#include <string>

struct ResourceTable {
  // ICO file image of an icon resource; empty when there is none.
  std::span<const std::uint8_t> (*icon)(int id);
  // RIFF AVI file image of a clip resource; empty when there is none.
  std::span<const std::uint8_t> (*avi)(int id);
  // String resource; empty when there is none.
  std::string (*string)(int id);
};

void InstallResources(const ResourceTable& table);
std::span<const std::uint8_t> LoadIconResource(int id);
std::span<const std::uint8_t> LoadAviResource(int id);
std::string LoadStringResource(int id);
