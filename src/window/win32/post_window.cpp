#include "window/win32/post_window.h"

namespace {

constexpr const char* kClassName = "ReflintPostWindow";
constexpr UINT kRunTask = WM_APP;

bool RegisterPostWindowClass(WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

PostWindow::~PostWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool PostWindow::Create() {
  if (!RegisterPostWindowClass(&PostWindow::WindowProc)) return false;
  hwnd_ = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleA(nullptr), this);
  return hwnd_ != nullptr;
}

void PostWindow::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  // One message per task: a task may run a nested loop (a message box), in
  // which the tasks posted meanwhile must still run.
  PostMessageA(hwnd_, kRunTask, 0, 0);
}

void PostWindow::RunOne() {
  std::function<void()> task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
}

LRESULT CALLBACK PostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kRunTask) {
    if (auto* self = reinterpret_cast<PostWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
      self->RunOne();
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}
