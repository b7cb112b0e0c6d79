#include "window/ui_thread.h"

#include <future>

#include "window/backend.h"

namespace {

// Nesting depth of Begin/EndWaitCursor; touched on the UI thread only.
int waitCursorDepth = 0;

}  // namespace

void RunOnUiThread(const std::function<void()>& task) {
  if (!HasBackend()) return;
  Backend& backend = CurrentBackend();
  if (backend.IsUiThread()) {
    task();
    return;
  }
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  backend.Post([&task, &done] {
    task();
    done.set_value();
  });
  finished.wait();
}

void PostToUiThread(std::function<void()> task) {
  if (!HasBackend()) return;
  CurrentBackend().Post(std::move(task));
}

int AfxMessageBox(const std::string& text, unsigned type) {
  if (!HasBackend()) return 0;
  int result = 0;
  RunOnUiThread([&] { result = CurrentBackend().MessageBox(text, type); });
  return result;
}

void BeginWaitCursor() {
  RunOnUiThread([] {
    ++waitCursorDepth;
    CurrentBackend().SetWaitCursor(true);
  });
}

void RestoreWaitCursor() {
  RunOnUiThread([] {
    if (waitCursorDepth > 0) CurrentBackend().SetWaitCursor(true);
  });
}

void EndWaitCursor() {
  RunOnUiThread([] {
    if (waitCursorDepth > 0) --waitCursorDepth;
    if (waitCursorDepth == 0) CurrentBackend().SetWaitCursor(false);
  });
}
