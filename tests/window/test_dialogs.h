#pragma once
// Small dialogs of the tests' own, to exercise the window layer alone.

#include <array>
#include <string>
#include <vector>

#include "window/dialog.h"

namespace window_test {

inline constexpr int kOuterTemplate = 900;
inline constexpr int kInnerTemplate = 901;
inline constexpr int kNameText = 10;
inline constexpr int kList = 11;
inline constexpr int kOpenInner = 12;
inline constexpr int kHiddenButton = 13;

inline constexpr std::array<ControlTemplate, 5> kOuterControls{{
    {IDOK, ControlKind::DefPushButton, "OK", 5, 5, 50, 14, kStyleNone},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 60, 5, 50, 14, kStyleNone},
    {kNameText, ControlKind::StaticText, "Placeholder", 5, 25, 100, 8, kStyleNone},
    {kList, ControlKind::DropDownList, "", 5, 40, 100, 50, kStyleVScroll},
    {kOpenInner, ControlKind::PushButton, "Inner", 5, 60, 50, 14, kStyleNone},
}};
inline constexpr DialogTemplate kOuter{kOuterTemplate, "Outer",       120, 80, "MS Sans Serif", 8,
                                       kDialogSysMenu, kOuterControls};

inline constexpr std::array<ControlTemplate, 2> kInnerControls{{
    {IDOK, ControlKind::DefPushButton, "OK", 5, 5, 50, 14, kStyleNone},
    {kHiddenButton, ControlKind::PushButton, "Hidden", 60, 5, 50, 14, kStyleHidden},
}};
inline constexpr DialogTemplate kInner{kInnerTemplate,  "Inner", 120,        40,
                                       "MS Sans Serif", 8,       kStyleNone, kInnerControls};

class CInnerDlg : public CDialog {
 public:
  CInnerDlg() : CDialog(kInner) {}
  int hiddenClicks = 0;
  void OnHidden() { ++hiddenClicks; }
  DECLARE_MESSAGE_MAP()
};

// Binds a text both ways, counts timer ticks, opens an inner dialog.
class COuterDlg : public CDialog {
 public:
  COuterDlg() : CDialog(kOuter) {}

  std::string name = "Initial";
  std::vector<unsigned> ticks;
  std::vector<int> selections;
  int innerResult = 0;
  std::vector<unsigned> sysCommands;

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    list.AddString("COM10");
    list.AddString("com1");
    list.AddString("COM3");
    SetTimer(7, 500);
    return true;
  }
  void OnTimer(unsigned id) { ticks.push_back(id); }
  void OnSelchange() { selections.push_back(list.GetCurSel()); }
  void OnOpenInner() {
    CInnerDlg inner;
    innerResult = inner.DoModal();
  }
  void OnSysCommand(unsigned id, std::intptr_t) {
    sysCommands.push_back(id);
    Default();
  }

  CComboBox list;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kList, list);
    DDX_Text(dx, kNameText, name);
  }

  DECLARE_MESSAGE_MAP()
};

}  // namespace window_test
