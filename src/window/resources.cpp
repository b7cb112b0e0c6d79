#include "window/resources.h"

#include <atomic>

namespace {

std::atomic<const ResourceTable*> installedTable{nullptr};

// The table is copied once so that the caller's object may be temporary.
ResourceTable& StoredTable() {
  static ResourceTable table{};
  return table;
}

}  // namespace

void InstallResources(const ResourceTable& table) {
  StoredTable() = table;
  installedTable.store(&StoredTable());
}

std::span<const std::uint8_t> LoadIconResource(int id) {
  const ResourceTable* table = installedTable.load();
  if (table == nullptr || table->icon == nullptr) return {};
  return table->icon(id);
}

std::span<const std::uint8_t> LoadAviResource(int id) {
  const ResourceTable* table = installedTable.load();
  if (table == nullptr || table->avi == nullptr) return {};
  return table->avi(id);
}

std::string LoadStringResource(int id) {
  const ResourceTable* table = installedTable.load();
  if (table == nullptr || table->string == nullptr) return {};
  return table->string(id);
}
