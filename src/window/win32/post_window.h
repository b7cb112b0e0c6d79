#pragma once
// Tasks posted from any thread, run on the user-interface thread by a
// hidden message-only window: each post adds the task to a queue and posts
// WM_APP to the window, whichever message loop (dialog, message box) runs.

#include <deque>
#include <functional>
#include <mutex>

#include "window/win32/win32_api.h"

class PostWindow {
 public:
  PostWindow() = default;
  ~PostWindow();
  PostWindow(const PostWindow&) = delete;
  PostWindow& operator=(const PostWindow&) = delete;

  // Creates the window on the calling thread, which becomes the one that
  // runs the tasks. False when the window cannot be made.
  bool Create();
  // Any thread.
  void Post(std::function<void()> task);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Runs the oldest waiting task, if any.
  void RunOne();

  HWND hwnd_ = nullptr;
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};
