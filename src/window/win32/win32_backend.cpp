#include "window/win32/win32_backend.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "window/dialog.h"
#include "window/win32/dialog_template_builder.h"
#include "window/win32/post_window.h"
#include "window/win32/win32_api.h"
#include "window/win32/win32_icons.h"
#include "window/win32/win32_window.h"

namespace {

class Win32Backend;

// What the dialog procedure needs of one modal run.
struct ModalRun {
  Win32Backend& backend;
  CDialog& dialog;
  Win32Window window;
};

class Win32Backend final : public Backend {
 public:
  Win32Backend() : uiThread_(std::this_thread::get_id()) {}

  bool Start() { return posts_.Create(); }

  int RunModal(CDialog& dialog) override {
    const std::vector<std::uint16_t> dialogTemplate = BuildWin32DialogTemplate(dialog.Template());
    ModalRun run{*this, dialog, Win32Window(icons_)};
    HWND owner = windows_.empty() ? nullptr : windows_.back();
    const INT_PTR result = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), owner,
        &Win32Backend::DialogProc, reinterpret_cast<LPARAM>(&run));
    dialog.DetachPeer();
    return static_cast<int>(result);
  }

  int MessageBox(const std::string& text, unsigned type) override {
    HWND owner = windows_.empty() ? nullptr : windows_.back();
    return MessageBoxA(owner, text.c_str(), Caption().c_str(), type | MB_TASKMODAL);
  }

  void Post(std::function<void()> task) override { posts_.Post(std::move(task)); }

  bool IsUiThread() const override { return std::this_thread::get_id() == uiThread_; }

  void SetWaitCursor(bool busy) override {
    busy_ = busy;
    SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* run = reinterpret_cast<ModalRun*>(lParam);
      SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
      return run->backend.InitDialog(hwnd, *run);
    }
    auto* run = reinterpret_cast<ModalRun*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (run == nullptr) return FALSE;
    return run->backend.Handle(*run, message, wParam, lParam);
  }

  INT_PTR InitDialog(HWND hwnd, ModalRun& run) {
    run.window.Attach(hwnd);
    run.window.SetUpControls(run.dialog.Template());
    windows_.push_back(hwnd);
    run.dialog.AttachPeer(&run.window);
    return run.dialog.DispatchInitDialog() ? TRUE : FALSE;
  }

  INT_PTR Handle(ModalRun& run, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        run.dialog.DispatchCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      case WM_TIMER:
        run.dialog.DispatchTimer(static_cast<unsigned>(wParam));
        return TRUE;
      case WM_SYSCOMMAND:
        return SysCommand(run, static_cast<unsigned>(wParam), lParam);
      case WM_PAINT:
        return Paint(run);
      case WM_DEVICECHANGE:
        // Ports arriving or going; the system's own answer stays the default.
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
            wParam == DBT_DEVNODES_CHANGED)
          run.dialog.DispatchDeviceChange();
        return FALSE;
      case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(
            run.window.LargeIcon(static_cast<int>(run.dialog.DispatchQueryDragIcon())));
      case WM_SETCURSOR:
        if (!busy_) return FALSE;
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        SetWindowLongPtrA(run.window.Handle(), DWLP_MSGRESULT, TRUE);
        return TRUE;
      case WM_DESTROY:
        windows_.erase(std::remove(windows_.begin(), windows_.end(), run.window.Handle()),
                       windows_.end());
        return FALSE;
      default:
        return FALSE;
    }
  }

  // The dialog sees its own commands (the About entry) and the close
  // command; moving, minimising and the rest stay with the system.
  static INT_PTR SysCommand(ModalRun& run, unsigned commandId, LPARAM lParam) {
    const unsigned command = commandId & 0xFFF0;
    if (command >= kFirstOwnSysCommand && command != SC_CLOSE) return FALSE;
    run.dialog.DispatchSysCommand(commandId, lParam);
    return TRUE;
  }

  // A minimised window paints its icon itself; otherwise the dialog's
  // handler runs and the system paints the controls.
  static INT_PTR Paint(ModalRun& run) {
    HWND hwnd = run.window.Handle();
    if (!::IsIconic(hwnd)) {
      run.dialog.DispatchPaint();
      return FALSE;
    }
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(hwnd, &paint);
    run.window.SetPaintContext(dc);
    run.dialog.DispatchPaint();
    run.window.SetPaintContext(nullptr);
    EndPaint(hwnd, &paint);
    return TRUE;
  }

  // Message boxes carry the main window's title, as the program's own do.
  std::string Caption() const {
    if (!windows_.empty()) {
      char title[256] = {};
      GetWindowTextA(windows_.front(), title, sizeof title);
      if (title[0] != '\0') return title;
    }
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
  }

  std::thread::id uiThread_;
  PostWindow posts_;
  Win32IconCache icons_;
  std::vector<HWND> windows_;  // open dialogs, bottom to top
  bool busy_ = false;          // the wait cursor is wanted
};

}  // namespace

std::unique_ptr<Backend> CreateWin32Backend() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
  if (!InitCommonControlsEx(&controls)) return nullptr;
  auto backend = std::make_unique<Win32Backend>();
  if (!backend->Start()) return nullptr;
  return backend;
}
