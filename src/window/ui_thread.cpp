#include "window/ui_thread.h"

#include <future>

#include "window/backend.h"

namespace {

// Nesting depth of Begin/EndWaitCursor, counted per installed backend (a
// new backend starts with a normal cursor); UI thread only.
int waitCursorDepth = 0;
unsigned waitCursorGeneration = 0;

int& WaitCursorDepth() {
  if (waitCursorGeneration != BackendGeneration()) {
    waitCursorGeneration = BackendGeneration();
    waitCursorDepth = 0;
  }
  return waitCursorDepth;
}

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
    ++WaitCursorDepth();
    CurrentBackend().SetWaitCursor(true);
  });
}

void RestoreWaitCursor() {
  RunOnUiThread([] {
    if (WaitCursorDepth() > 0) CurrentBackend().SetWaitCursor(true);
  });
}

void EndWaitCursor() {
  RunOnUiThread([] {
    int& depth = WaitCursorDepth();
    if (depth > 0) --depth;
    if (depth == 0) CurrentBackend().SetWaitCursor(false);
  });
}
