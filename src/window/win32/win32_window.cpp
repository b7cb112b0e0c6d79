#include "window/win32/win32_window.h"

#include <algorithm>
#include <vector>

#include "window/win32/framed_text.h"
#include "window/win32/win32_icons.h"
#include "window/window_types.h"

namespace {

// Win32 list results other than an index (CB_ERR, CB_ERRSPACE) all mean
// failure to the window layer.
int IndexOrError(LRESULT result) { return result < 0 ? CB_ERR : static_cast<int>(result); }

}  // namespace

void Win32Window::SetUpControls(const DialogTemplate& dialogTemplate) {
  // The dialog's children come in template order, so unnamed controls are
  // found too.
  HWND child = GetWindow(hwnd_, GW_CHILD);
  for (const ControlTemplate& control : dialogTemplate.controls) {
    if (child == nullptr) break;
    if (control.kind == ControlKind::StaticIcon && control.iconId != 0) {
      if (HICON icon = LargeIcon(control.iconId))
        SendMessageA(child, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    if (control.kind == ControlKind::StaticText &&
        (control.style & (kStyleSunken | kStyleBorder)) != 0)
      KeepTextOffFrame(child);
    child = GetWindow(child, GW_HWNDNEXT);
  }
}

void Win32Window::SetText(int id, const std::string& text) {
  SetDlgItemTextA(hwnd_, id, text.c_str());
}

std::string Win32Window::GetText(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return {};
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  const int length = GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return text;
}

// A control that goes away under the keyboard focus hands it on first, so
// that the keyboard keeps working (Tab, Enter, Escape).
void Win32Window::MoveFocusOff(HWND item) {
  if (GetFocus() == item) SendMessageA(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
}

void Win32Window::Enable(int id, bool enable) {
  HWND item = Item(id);
  if (item == nullptr) return;
  if (!enable) MoveFocusOff(item);
  EnableWindow(item, enable ? TRUE : FALSE);
}

bool Win32Window::IsEnabled(int id) const {
  HWND item = Item(id);
  return item != nullptr && IsWindowEnabled(item);
}

void Win32Window::Show(int id, bool show) {
  HWND item = Item(id);
  if (item == nullptr) return;
  if (!show) MoveFocusOff(item);
  ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

// The control's own visibility: IsWindowVisible would also answer false for
// every control while the dialog itself is not shown yet.
bool Win32Window::IsVisible(int id) const {
  HWND item = Item(id);
  return item != nullptr && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Window::ListReset(int id) { Send(id, CB_RESETCONTENT); }

int Win32Window::ListAdd(int id, const std::string& text) {
  if (Item(id) == nullptr) return CB_ERR;
  return IndexOrError(Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

bool Win32Window::ListSetData(int id, int index, std::uint32_t data) {
  if (Item(id) == nullptr) return false;
  return Send(id, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)) != CB_ERR;
}

std::uint32_t Win32Window::ListGetData(int id, int index) const {
  if (Item(id) == nullptr) return static_cast<std::uint32_t>(CB_ERR);
  return static_cast<std::uint32_t>(Send(id, CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

int Win32Window::ListCount(int id) const {
  if (Item(id) == nullptr) return CB_ERR;
  return IndexOrError(Send(id, CB_GETCOUNT));
}

std::string Win32Window::ListText(int id, int index) const {
  if (Item(id) == nullptr) return {};
  const LRESULT length = Send(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied =
      Send(id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
  return text;
}

int Win32Window::ListSetCurSel(int id, int index) {
  if (Item(id) == nullptr) return CB_ERR;
  return IndexOrError(Send(id, CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int Win32Window::ListGetCurSel(int id) const {
  if (Item(id) == nullptr) return CB_ERR;
  return IndexOrError(Send(id, CB_GETCURSEL));
}

void Win32Window::SetProgressPos(int id, int pos) {
  Send(id, PBM_SETPOS, static_cast<WPARAM>(pos));
}

int Win32Window::GetProgressPos(int id) const {
  return Item(id) != nullptr ? static_cast<int>(Send(id, PBM_GETPOS)) : 0;
}

// The clip is the executable's AVI resource; the control reads it from the
// module itself.
bool Win32Window::AnimationOpen(int id, int clipResourceId) {
  if (Item(id) == nullptr) return false;
  HINSTANCE module = GetModuleHandleA(nullptr);
  if (FindResourceA(module, MAKEINTRESOURCEA(clipResourceId), "AVI") == nullptr) return false;
  return Send(id, ACM_OPENA, reinterpret_cast<WPARAM>(module),
              reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(clipResourceId))) != 0;
}

bool Win32Window::AnimationPlay(int id, int fromFrame, int toFrame, int repeat) {
  if (Item(id) == nullptr) return false;
  return Send(id, ACM_PLAY, static_cast<WPARAM>(repeat),
              MAKELONG(static_cast<WORD>(fromFrame), static_cast<WORD>(toFrame))) != 0;
}

bool Win32Window::AnimationStop(int id) {
  if (Item(id) == nullptr) return false;
  return Send(id, ACM_STOP) != 0;
}

bool Win32Window::SetTimer(unsigned timerId, unsigned periodMs) {
  return ::SetTimer(hwnd_, timerId, periodMs, nullptr) != 0;
}

bool Win32Window::KillTimer(unsigned timerId) { return ::KillTimer(hwnd_, timerId) != FALSE; }

bool Win32Window::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (menu == nullptr) return false;
  return AppendMenuA(menu, MF_SEPARATOR, 0, nullptr) &&
         AppendMenuA(menu, MF_STRING, commandId, text.c_str());
}

void Win32Window::SetIcon(int iconResourceId, bool big) {
  const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
  HICON icon = icons_.Get(iconResourceId, size);
  SendMessageA(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool Win32Window::IsIconic() const { return ::IsIconic(hwnd_) != FALSE; }

PixelSize Win32Window::ClientSize() const {
  RECT rect{};
  GetClientRect(hwnd_, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

PixelSize Win32Window::SystemIconSize() const {
  return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
}

// Draws into the paint context of WM_PAINT; outside one, into the window.
void Win32Window::DrawIcon(int x, int y, int iconResourceId) {
  HDC dc = paintDc_ != nullptr ? paintDc_ : GetDC(hwnd_);
  if (dc == nullptr) return;
  SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  if (HICON icon = LargeIcon(iconResourceId)) ::DrawIcon(dc, x, y, icon);
  if (dc != paintDc_) ReleaseDC(hwnd_, dc);
}

void Win32Window::End(int result) { EndDialog(hwnd_, result); }

HICON Win32Window::LargeIcon(int iconResourceId) {
  return icons_.Get(iconResourceId, GetSystemMetrics(SM_CXICON));
}
