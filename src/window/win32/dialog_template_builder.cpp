#include "window/win32/dialog_template_builder.h"

#include <string_view>

#include "window/win32/win32_api.h"

namespace {

// Atoms of the predefined control classes in a dialog template.
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;

class TemplateWriter {
 public:
  void Word(std::uint16_t value) { words_.push_back(value); }
  void Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  void AlignDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  // ANSI text as the NUL-terminated UTF-16 string the template holds.
  void Text(std::string_view text) {
    if (!text.empty()) {
      const int length =
          MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
      std::wstring wide(static_cast<std::size_t>(length), L'\0');
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
      for (wchar_t c : wide) Word(static_cast<std::uint16_t>(c));
    }
    Word(0);
  }
  std::vector<std::uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<std::uint16_t> words_;
};

DWORD Win32DialogStyle(const DialogTemplate& t) {
  DWORD style = WS_POPUP | WS_CAPTION | DS_SETFONT | DS_CENTER;
  if (t.style & kDialogSysMenu) style |= WS_SYSMENU;
  if (t.style & kDialogModalFrame) style |= DS_MODALFRAME;
  return style;
}

DWORD Win32DialogExStyle(const DialogTemplate& t) {
  return (t.style & kDialogAppWindow) ? WS_EX_APPWINDOW : 0;
}

DWORD StaticStyle(const ControlTemplate& c) {
  DWORD style = (c.style & kStyleCenter) ? SS_CENTER : SS_LEFT;
  if (c.style & kStyleNoPrefix) style |= SS_NOPREFIX;
  if (c.style & kStyleSunken) style |= SS_SUNKEN;
  return style;
}

// Class atom or name, and the control's own style bits.
struct ControlClass {
  std::uint16_t atom;  // 0 when the class is named
  const char* name;
  DWORD style;
};

ControlClass ClassOf(const ControlTemplate& c) {
  switch (c.kind) {
    case ControlKind::PushButton:
      return {kButtonAtom, nullptr, BS_PUSHBUTTON};
    case ControlKind::DefPushButton:
      return {kButtonAtom, nullptr, BS_DEFPUSHBUTTON};
    case ControlKind::GroupBox:
      return {kButtonAtom, nullptr, BS_GROUPBOX};
    case ControlKind::StaticText:
      return {kStaticAtom, nullptr, StaticStyle(c)};
    case ControlKind::StaticIcon:
      return {kStaticAtom, nullptr,
              static_cast<DWORD>(SS_ICON | ((c.style & kStyleCentreImage) ? SS_CENTERIMAGE : 0))};
    case ControlKind::BlackFrame:
      return {kStaticAtom, nullptr, SS_BLACKFRAME};
    case ControlKind::DropDownList:
      return {kComboBoxAtom, nullptr, CBS_DROPDOWNLIST};
    case ControlKind::ProgressBar:
      return {0, PROGRESS_CLASSA, 0};
    case ControlKind::Animation: {
      DWORD style = 0;
      if (c.style & kStyleCentreImage) style |= ACS_CENTER;
      if (c.style & kStyleTransparent) style |= ACS_TRANSPARENT;
      return {0, ANIMATE_CLASSA, style};
    }
  }
  return {kStaticAtom, nullptr, SS_LEFT};
}

DWORD ControlStyle(const ControlTemplate& c, DWORD classStyle) {
  DWORD style = WS_CHILD | classStyle;
  if (!(c.style & kStyleHidden)) style |= WS_VISIBLE;
  if (c.style & kStyleTabStop) style |= WS_TABSTOP;
  if (c.style & kStyleVScroll) style |= WS_VSCROLL;
  if (c.style & kStyleBorder) style |= WS_BORDER;
  return style;
}

void WriteControl(TemplateWriter& out, const ControlTemplate& c) {
  const ControlClass cls = ClassOf(c);
  out.AlignDword();
  out.Dword(ControlStyle(c, cls.style));
  out.Dword(0);  // extended style
  out.Word(static_cast<std::uint16_t>(c.x));
  out.Word(static_cast<std::uint16_t>(c.y));
  out.Word(static_cast<std::uint16_t>(c.cx));
  out.Word(static_cast<std::uint16_t>(c.cy));
  // kNoControlId (-1) becomes 0xFFFF, the resource compiler's IDC_STATIC.
  out.Word(static_cast<std::uint16_t>(c.id));
  if (cls.atom != 0) {
    out.Word(0xFFFF);
    out.Word(cls.atom);
  } else {
    out.Text(cls.name);
  }
  // Icons are set once the window exists, from the program's resources.
  out.Text(c.kind == ControlKind::StaticIcon ? "" : c.text);
  out.Word(0);  // no creation data
}

}  // namespace

std::vector<std::uint16_t> BuildWin32DialogTemplate(const DialogTemplate& t) {
  TemplateWriter out;
  out.Dword(Win32DialogStyle(t));
  out.Dword(Win32DialogExStyle(t));
  out.Word(static_cast<std::uint16_t>(t.controls.size()));
  out.Word(0);  // x, y: centred by DS_CENTER
  out.Word(0);
  out.Word(static_cast<std::uint16_t>(t.cx));
  out.Word(static_cast<std::uint16_t>(t.cy));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(t.caption);
  out.Word(static_cast<std::uint16_t>(t.fontPointSize));
  out.Text(t.fontName);
  for (const ControlTemplate& c : t.controls) WriteControl(out, c);
  return out.Take();
}
