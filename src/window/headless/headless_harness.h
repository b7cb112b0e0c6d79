#pragma once
// Runs a piece of the program on its own UI thread over a fresh headless
// backend, for tests. The constructor installs the backend; Start() runs the
// function on the UI thread; Join() waits for it to return, after which the
// thread still runs posted tasks (so a worker's AfxMessageBox never hangs);
// the destructor ends any modal loop still running, joins the thread and
// removes the backend.

#include <functional>
#include <thread>

#include "window/headless/headless_backend.h"
#include "window/headless/headless_driver.h"

namespace headless {

class HeadlessHarness {
 public:
  HeadlessHarness();
  ~HeadlessHarness();
  HeadlessHarness(const HeadlessHarness&) = delete;
  HeadlessHarness& operator=(const HeadlessHarness&) = delete;

  HeadlessBackend& Backend() { return *backend_; }
  // What the test does to the program's windows and reads from them.
  HeadlessDriver& Driver() { return driver_; }

  // Runs uiMain on a new UI thread.
  void Start(std::function<void()> uiMain);
  // Waits until uiMain has returned; false on time-out (the thread then
  // still runs and the destructor ends it).
  bool Join(milliseconds timeout = kDefaultTimeout);
  bool Finished() const;

 private:
  HeadlessBackend* backend_;  // owned by the installed backend slot
  HeadlessDriver driver_;
  std::thread ui_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
};

}  // namespace headless
