#include "ui/program_resources.h"

#include "core/user_texts.h"
#include "ui/resource_bytes.h"
#include "ui/resource_ids.h"
#include "ui/resource_texts.h"
#include "window/resources.h"

namespace {

std::span<const std::uint8_t> Icon(int id) {
  if (id == IDR_MAINFRAME) return AppIconFile();
  if (id == IDI_WARNING_ICON) return WarningIconFile();
  return {};
}

std::span<const std::uint8_t> Avi(int id) {
  if (id == IDR_TRANSFER_AVI) return TransferClipFile();
  return {};
}

std::string String(int id) {
  if (id == IDS_ABOUTBOX) return REFLINT_ABOUT_ENTRY_TEXT;
  // Strings under the ids of the pictures name them for screen readers.
  if (id == IDR_MAINFRAME) return std::string(UserTextOf(UserText::MainframeName));
  if (id == IDI_WARNING_ICON) return std::string(UserTextOf(UserText::WarningIconName));
  if (id == IDR_TRANSFER_AVI) return std::string(UserTextOf(UserText::TransferClipName));
  return {};
}

}  // namespace

void InstallProgramResources() { InstallResources({&Icon, &Avi, &String}); }
