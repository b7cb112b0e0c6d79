#pragma once
// The WindowPeer of one open dialog: control operations by id over the
// dialog's HWND.

#include <string>

#include "window/backend.h"
#include "window/dialog_template.h"
#include "window/win32/win32_api.h"

class Win32IconCache;

class Win32Window final : public WindowPeer {
 public:
  explicit Win32Window(Win32IconCache& icons) : icons_(icons) {}

  // Called from WM_INITDIALOG, before the dialog's own initialisation.
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  HWND Handle() const { return hwnd_; }
  // The paint context while WM_PAINT is handled, for DrawIcon.
  void SetPaintContext(HDC dc) { paintDc_ = dc; }
  // Gives the template's icon controls their pictures and framed texts
  // their margin.
  void SetUpControls(const DialogTemplate& dialogTemplate);

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) const override;
  void Enable(int id, bool enable) override;
  bool IsEnabled(int id) const override;
  void Show(int id, bool show) override;
  bool IsVisible(int id) const override;

  void ListReset(int id) override;
  int ListAdd(int id, const std::string& text) override;
  bool ListSetData(int id, int index, std::uint32_t data) override;
  std::uint32_t ListGetData(int id, int index) const override;
  int ListCount(int id) const override;
  std::string ListText(int id, int index) const override;
  int ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override;

  void SetProgressPos(int id, int pos) override;
  int GetProgressPos(int id) const override;

  bool AnimationOpen(int id, int clipResourceId) override;
  bool AnimationPlay(int id, int fromFrame, int toFrame, int repeat) override;
  bool AnimationStop(int id) override;

  bool SetTimer(unsigned timerId, unsigned periodMs) override;
  bool KillTimer(unsigned timerId) override;

  bool AppendSystemMenuItem(unsigned commandId, const std::string& text) override;
  void SetIcon(int iconResourceId, bool big) override;

  bool IsIconic() const override;
  PixelSize ClientSize() const override;
  PixelSize SystemIconSize() const override;
  void DrawIcon(int x, int y, int iconResourceId) override;

  void End(int result) override;

  // The icon handle of a resource id at the system's large icon size.
  HICON LargeIcon(int iconResourceId);

 private:
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  void MoveFocusOff(HWND item);
  LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendDlgItemMessageA(hwnd_, id, message, wParam, lParam);
  }

  Win32IconCache& icons_;
  HWND hwnd_ = nullptr;
  HDC paintDc_ = nullptr;
};
