#pragma once
// Dialog templates as data, in dialog units, exactly as the resource script
// would give them. Every backend builds its windows from the same data.

#include <cstdint>
#include <span>

enum class ControlKind : std::uint8_t {
  PushButton,
  DefPushButton,
  StaticText,  // text, alignment and border from the style bits
  StaticIcon,  // iconId names the icon resource
  GroupBox,
  DropDownList,
  ProgressBar,
  BlackFrame,  // drawn as a line when one unit high
  Animation,
};

// Style bits of a control; each backend maps them to its own.
enum ControlStyle : std::uint32_t {
  kStyleNone = 0,
  kStyleCenter = 1u << 0,  // centred text
  kStyleWordWrap = 1u << 1,
  kStyleSunken = 1u << 2,
  kStyleBorder = 1u << 3,
  kStyleNoPrefix = 1u << 4,  // '&' shown as itself
  kStyleVScroll = 1u << 5,
  kStyleHidden = 1u << 6,  // not visible when the window opens
  kStyleTabStop = 1u << 7,
  kStyleTransparent = 1u << 8,  // animation: background colour not painted
  kStyleCentreImage = 1u << 9,  // animation/icon: image centred in the rectangle
};

inline constexpr int kNoControlId = -1;

struct ControlTemplate {
  int id;  // kNoControlId for static decoration
  ControlKind kind;
  const char* text;  // may be empty, never null
  int x, y, cx, cy;  // dialog units
  std::uint32_t style;
  int iconId = 0;  // StaticIcon only
};

enum DialogStyle : std::uint32_t {
  kDialogSysMenu = 1u << 0,  // caption with system menu and close box
  kDialogModalFrame = 1u << 1,
  kDialogAppWindow = 1u << 2,  // shown in the task bar
};

struct DialogTemplate {
  int id;
  const char* caption;
  int cx, cy;  // dialog units
  const char* fontName;
  int fontPointSize;
  std::uint32_t style;
  std::span<const ControlTemplate> controls;

  const ControlTemplate* FindControl(int controlId) const {
    for (const ControlTemplate& c : controls)
      if (c.id == controlId && controlId != kNoControlId) return &c;
    return nullptr;
  }
};
