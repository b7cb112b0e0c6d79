#include "ui/confirm_dlg.h"

#include <cstdio>
#include <vector>

#include "core/user_texts.h"
#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"

namespace {

// printf-style formatting of texts that arrive as arguments, never as part of
// the format, so a '%' in a version text is shown as it is.
template <typename... Texts>
std::string FormatTexts(UserText code, const Texts&... texts) {
  const std::string owned(UserTextOf(code));
  const char* format = owned.c_str();
  int size = std::snprintf(nullptr, 0, format, texts.c_str()...);
  if (size < 0) return {};
  // Written in place (the terminator lands on the string's own); a separate
  // buffer of size + 1 trips g++ 12's -Wformat-truncation at -O2.
  std::string buffer(static_cast<std::size_t>(size), '\0');
  std::snprintf(buffer.data(), buffer.size() + 1, format, texts.c_str()...);
  return buffer;
}

}  // namespace

// The run holds no configuration-file value of its own: both lines show the
// installed-version text.
std::string ConfirmDeviceVersionText(const std::string& installedVersion) {
  return FormatTexts(UserText::DeviceVersionFormat, installedVersion, installedVersion);
}

std::string ConfirmNewVersionText(const std::string& firmwareVersion) {
  return FormatTexts(UserText::NewVersionFormat, firmwareVersion);
}

CConfirmDlg::CConfirmDlg() : CDialog(DialogTemplateById(IDD_CONFIRM)) {}
CConfirmDlg::~CConfirmDlg() = default;

void CConfirmDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_DEVICE_VERSION, deviceVersionText_);
  DDX_Text(dx, IDC_NEW_VERSION, newVersionText_);
}

BEGIN_MESSAGE_MAP(CConfirmDlg, CDialog)
END_MESSAGE_MAP()
