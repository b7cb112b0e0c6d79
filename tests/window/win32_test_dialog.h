#pragma once
// A dialog of the Win32 backend tests: opens on a program template, runs a
// script once its message loop runs, records what the backend dispatches,
// and gives up after a few seconds so that a broken backend fails instead
// of hanging.

#include <functional>
#include <utility>
#include <vector>

#include "window/dialog.h"
#include "window/ui_thread.h"

namespace win32_test {

inline constexpr unsigned kWatchdogTimer = 99;
inline constexpr int kGaveUp = -2;

class CScriptedDlg : public CDialog {
 public:
  using Script = std::function<void(CScriptedDlg&)>;
  CScriptedDlg(const DialogTemplate& dialogTemplate, Script script)
      : CDialog(dialogTemplate), script_(std::move(script)) {}

  std::vector<unsigned> ticks;
  std::vector<unsigned> sysCommands;
  std::vector<int> startClicks;
  std::function<void(unsigned)> onTick;

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    SetTimer(kWatchdogTimer, 10000);
    PostToUiThread([this] { script_(*this); });
    return true;
  }
  void OnTimer(unsigned timerId) {
    if (timerId == kWatchdogTimer) {
      EndDialog(kGaveUp);
      return;
    }
    ticks.push_back(timerId);
    if (onTick) onTick(timerId);
  }
  void OnSysCommand(unsigned commandId, std::intptr_t) {
    sysCommands.push_back(commandId);
    if ((commandId & 0xFFF0) != 16) Default();
  }
  void OnStartUpdate() { startClicks.push_back(1); }
  void OnDropdownPort() { ++dropdowns; }
  void OnDeviceChange() { ++deviceChanges; }
  void OnPaint() { paintedIconic.push_back(IsIconic()); }
  std::intptr_t OnQueryDragIcon() { return dragIconId; }

  std::vector<bool> paintedIconic;
  int dragIconId = 0;
  int dropdowns = 0;
  int deviceChanges = 0;

  DECLARE_MESSAGE_MAP()

 private:
  Script script_;
};

}  // namespace win32_test
