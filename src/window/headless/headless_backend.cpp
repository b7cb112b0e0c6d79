#include "window/headless/headless_backend.h"

#include <algorithm>

#include "window/dialog.h"
#include "window/headless/headless_window.h"

namespace headless {

HeadlessBackend::HeadlessBackend() = default;
HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::NotifyChangedLocked() { changed_.notify_all(); }

void HeadlessBackend::BindUiThread() {
  std::lock_guard lock(mutex_);
  uiThread_ = std::this_thread::get_id();
  uiFinished_ = false;
}

void HeadlessBackend::MarkUiFinished() {
  std::lock_guard lock(mutex_);
  uiFinished_ = true;
  changed_.notify_all();
}

void HeadlessBackend::DrainUntilStopped() {
  RunLoop([this] { return drainStopped_; }, false);
}

void HeadlessBackend::StopDraining() {
  std::lock_guard lock(mutex_);
  drainStopped_ = true;
  wake_.notify_all();
}

bool HeadlessBackend::IsUiThread() const {
  std::lock_guard lock(mutex_);
  return uiThread_ == std::this_thread::get_id();
}

void HeadlessBackend::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  idle_ = false;
  wake_.notify_all();
  changed_.notify_all();
}

void HeadlessBackend::SetWaitCursor(bool busy) {
  std::lock_guard lock(mutex_);
  waitCursor_ = busy;
  changed_.notify_all();
}

std::optional<std::chrono::steady_clock::time_point> HeadlessBackend::NextTimerDueLocked() const {
  std::optional<std::chrono::steady_clock::time_point> next;
  for (const auto& window : windows_) {
    for (const auto& [id, timer] : window->timers) {
      if (!next || timer.due < *next) next = timer.due;
    }
  }
  return next;
}

// Delivers the one most overdue tick, if any; unlocks while the handler runs.
bool HeadlessBackend::RunDueTimerLocked(std::unique_lock<std::mutex>& lock) {
  const auto now = std::chrono::steady_clock::now();
  std::shared_ptr<HeadlessWindow> target;
  unsigned timerId = 0;
  std::chrono::steady_clock::time_point due = now;
  for (const auto& window : windows_) {
    for (auto& [id, timer] : window->timers) {
      if (timer.due <= due) {
        due = timer.due;
        target = window;
        timerId = id;
      }
    }
  }
  if (!target) return false;
  TimerState& timer = target->timers[timerId];
  timer.due = now + std::chrono::milliseconds(std::max(1u, timer.periodMs));
  lock.unlock();
  target->Dialog().DispatchTimer(timerId);
  lock.lock();
  return true;
}

template <typename Done>
void HeadlessBackend::RunLoop(Done done, bool endOnAbort) {
  std::unique_lock lock(mutex_);
  ++loopDepth_;
  while (!done() && !(endOnAbort && aborted_)) {
    if (!tasks_.empty()) {
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      idle_ = false;
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    if (realTimeTimers_ && RunDueTimerLocked(lock)) continue;
    idle_ = true;
    changed_.notify_all();
    const auto next = realTimeTimers_ ? NextTimerDueLocked() : std::nullopt;
    if (next) {
      wake_.wait_until(lock, *next);
    } else {
      wake_.wait(lock);
    }
    idle_ = false;
  }
  --loopDepth_;
  idle_ = false;
  changed_.notify_all();
}

int HeadlessBackend::RunModal(CDialog& dialog) {
  {
    std::lock_guard lock(mutex_);
    if (uiThread_ == std::thread::id()) uiThread_ = std::this_thread::get_id();
    if (aborted_) return IDCANCEL;
  }
  auto window = std::make_shared<HeadlessWindow>(*this, dialog);
  {
    std::lock_guard lock(mutex_);
    windows_.push_back(window);
    changed_.notify_all();
  }
  dialog.AttachPeer(window.get());
  dialog.DispatchInitDialog();
  RunLoop([&] { return window->Ended(); });
  dialog.DetachPeer();

  std::lock_guard lock(mutex_);
  const int result = window->Ended() ? window->Result() : IDCANCEL;
  windows_.erase(std::find(windows_.begin(), windows_.end(), window));
  results_.emplace_back(window->TemplateId(), result);
  changed_.notify_all();
  return result;
}

int HeadlessBackend::MessageBox(const std::string& text, unsigned type) {
  auto box = std::make_shared<PendingBox>();
  {
    std::lock_guard lock(mutex_);
    boxHistory_.push_back({text, type, 0});
    box->historyIndex = boxHistory_.size() - 1;
    if (autoAnswer_ || aborted_) {
      box->result = autoAnswer_ ? *autoAnswer_ : IDCANCEL;
      boxHistory_.back().result = box->result;
      changed_.notify_all();
      return box->result;
    }
    boxes_.push_back(box);
    changed_.notify_all();
  }
  RunLoop([&] { return box->result != 0; });

  std::lock_guard lock(mutex_);
  boxes_.erase(std::find(boxes_.begin(), boxes_.end(), box));
  if (box->result == 0) box->result = (type & MB_YESNO) != 0 ? IDNO : IDCANCEL;
  boxHistory_[box->historyIndex].result = box->result;
  changed_.notify_all();
  return box->result;
}

// ---- Test side --------------------------------------------------------------

void HeadlessBackend::AbortAll() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  wake_.notify_all();
  changed_.notify_all();
}

std::shared_ptr<HeadlessWindow> HeadlessBackend::TopmostLocked(int templateId) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->TemplateId() == templateId && !(*it)->Ended()) return *it;
  }
  return nullptr;
}

void HeadlessBackend::PostToWindow(int templateId,
                                   std::function<void(CDialog&, HeadlessWindow&)> action) {
  Post([this, templateId, action = std::move(action)] {
    std::shared_ptr<HeadlessWindow> window;
    {
      std::lock_guard lock(mutex_);
      window = TopmostLocked(templateId);
    }
    if (window) action(window->Dialog(), *window);
  });
}

}  // namespace headless
