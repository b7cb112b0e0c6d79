#include "ui/program_resources.h"

#include "ui/resource_ids.h"
#include "window/resources.h"

namespace {

std::span<const std::uint8_t> Icon(int) { return {}; }
std::span<const std::uint8_t> Avi(int) { return {}; }

std::string String(int id) {
  if (id == IDS_ABOUTBOX) return "&About...";
  return {};
}

}  // namespace

void InstallProgramResources() { InstallResources({&Icon, &Avi, &String}); }
