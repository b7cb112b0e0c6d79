#include "ui/dialog_templates.h"

#include <array>

#include "ui/resource_ids.h"
#include "window/window_types.h"

namespace {

constexpr std::uint32_t kSunkenBox = kStyleWordWrap | kStyleSunken | kStyleBorder;

// 100: About box.
constexpr std::array<ControlTemplate, 5> kAboutControls{{
    {kNoControlId, ControlKind::StaticIcon, "", 7, 17, 20, 20, kStyleNone, IDR_MAINFRAME},
    {IDC_TOOLNAME, ControlKind::StaticText, "Toolname", 39, 7, 119, 8, kStyleNoPrefix},
    {IDC_VERSION, ControlKind::StaticText, "Version", 39, 23, 119, 8, kStyleNoPrefix},
    {kNoControlId, ControlKind::StaticText, "Firmware updates for your remote", 38, 40, 119, 8,
     kStyleNone},
    {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 14, kStyleTabStop},
}};

// 102: main window. Hidden controls form the transfer layout.
constexpr std::array<ControlTemplate, 13> kUpgradeControls{{
    {IDC_START_UPDATE, ControlKind::DefPushButton, "Start Update", 7, 234, 131, 14, kStyleTabStop},
    {IDCANCEL, ControlKind::PushButton, "Exit", 148, 234, 50, 14, kStyleTabStop},
    {kNoControlId, ControlKind::StaticText, "Select port:", 7, 209, 37, 8, kStyleNone},
    {IDC_PORT_LIST, ControlKind::DropDownList, "", 47, 207, 151, 41, kStyleVScroll | kStyleTabStop},
    {kNoControlId, ControlKind::BlackFrame, "", 7, 197, 191, 1, kStyleNone},
    {kNoControlId, ControlKind::BlackFrame, "", 7, 228, 191, 1, kStyleNone},
    {IDC_INFO, ControlKind::StaticText, "Info", 7, 7, 191, 148, kSunkenBox},
    {IDC_WARNING_TEXT, ControlKind::StaticText, "Warning", 33, 159, 165, 33, kSunkenBox},
    {IDC_WARNING_ICON, ControlKind::StaticIcon, "", 7, 164, 20, 20, kStyleNone, IDI_WARNING_ICON},
    {IDC_PROGRESS, ControlKind::ProgressBar, "", 7, 138, 191, 12, kStyleBorder | kStyleHidden},
    {IDC_JOBNAME, ControlKind::StaticText, "Jobname", 7, 115, 191, 8, kStyleHidden},
    {IDC_PERCENT, ControlKind::StaticText, "100 %", 7, 127, 191, 8, kStyleCenter | kStyleHidden},
    {IDC_ANIMATION, ControlKind::Animation, "", 7, 68, 191, 41,
     kStyleCentreImage | kStyleTransparent | kStyleBorder | kStyleHidden},
}};

// 133: update confirmation.
constexpr std::array<ControlTemplate, 7> kConfirmControls{{
    {IDOK, ControlKind::DefPushButton, "Proceed", 40, 114, 50, 14, kStyleTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 95, 114, 50, 14, kStyleTabStop},
    {kNoControlId, ControlKind::StaticText, "Do you want to proceed the update of your device?", 7,
     101, 172, 8, kStyleNone},
    {kNoControlId, ControlKind::GroupBox, "Current version on the connected device", 8, 7, 171, 40,
     kStyleNone},
    {kNoControlId, ControlKind::GroupBox, "New Firmware version", 8, 53, 171, 40, kStyleNone},
    {IDC_NEW_VERSION, ControlKind::StaticText, "New Version", 14, 66, 159, 20, kStyleNone},
    {IDC_DEVICE_VERSION, ControlKind::StaticText, "Device Version", 14, 21, 159, 20, kStyleNone},
}};

// 134: device choice, in tab order.
constexpr std::array<ControlTemplate, 6> kSelectDeviceControls{{
    {IDOK, ControlKind::DefPushButton, "&OK", 7, 61, 50, 14, kStyleTabStop},
    {IDCANCEL, ControlKind::PushButton, "&Cancel", 155, 61, 50, 14, kStyleTabStop},
    {IDC_DEVICE_LIST, ControlKind::DropDownList, "", 104, 32, 101, 50,
     kStyleVScroll | kStyleTabStop},
    {kNoControlId, ControlKind::StaticText, "Supported Devices", 39, 35, 65, 8, kStyleNone},
    {IDC_SELECT_ICON, ControlKind::StaticIcon, "", 13, 29, 21, 20, kStyleNone, IDI_WARNING_ICON},
    {kNoControlId, ControlKind::StaticText,
     "Please select the device that is connected to your PC.", 15, 14, 183, 8, kStyleNone},
}};

// 135: reset prompt; no OK button.
constexpr std::array<ControlTemplate, 3> kResetPromptControls{{
    {IDCANCEL, ControlKind::PushButton, "Cancel", 129, 74, 50, 14, kStyleTabStop},
    {kNoControlId, ControlKind::StaticText,
     "Please, press your device's RESET button using the tip of an unfolded paperclip.", 13, 17,
     160, 23, kStyleNone},
    {kNoControlId, ControlKind::StaticText,
     "The RESET button is located on the back of your device.", 14, 44, 158, 21, kStyleNone},
}};

constexpr const char* kFont = "MS Sans Serif";
constexpr std::uint32_t kModal = kDialogSysMenu | kDialogModalFrame;

constexpr DialogTemplate kAbout{IDD_ABOUTBOX, "About Reflint", 235, 55, kFont, 8,
                                kModal,       kAboutControls};
constexpr DialogTemplate kUpgrade{IDD_UPGRADE_DIALOG,        "Reflint",       205, 255, kFont, 8,
                                  kModal | kDialogAppWindow, kUpgradeControls};
constexpr DialogTemplate kConfirm{IDD_CONFIRM, "Confirmation",  186, 135, kFont, 8,
                                  kModal,      kConfirmControls};
constexpr DialogTemplate kSelectDevice{
    IDD_SELECT_DEVICE, "Reflint: Select Device", 212, 82, kFont, 8, kModal, kSelectDeviceControls};
constexpr DialogTemplate kResetPrompt{IDD_RESET_PROMPT, "Reflint",           186, 95, kFont, 8,
                                      kModal,           kResetPromptControls};

// Stands in for an unknown id: no controls, so nothing can be attached.
constexpr DialogTemplate kUnknown{0, "", 0, 0, kFont, 8, kStyleNone, {}};

constexpr std::array<const DialogTemplate*, 5> kAll{&kAbout, &kUpgrade, &kConfirm, &kSelectDevice,
                                                    &kResetPrompt};

}  // namespace

const DialogTemplate& DialogTemplateById(int templateId) {
  for (const DialogTemplate* t : kAll)
    if (t->id == templateId) return *t;
  return kUnknown;
}

std::span<const DialogTemplate* const> AllDialogTemplates() { return kAll; }
