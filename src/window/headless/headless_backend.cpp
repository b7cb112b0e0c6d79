#include "window/headless/headless_backend.h"

#include <algorithm>

#include "window/dialog.h"
#include "window/headless/headless_window.h"

namespace headless {

struct HeadlessBackend::PendingBox {
  std::size_t historyIndex = 0;
  int result = 0;  // 0 until answered
};

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

template <typename Predicate>
bool HeadlessBackend::WaitFor(milliseconds timeout, Predicate predicate) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, predicate);
}

bool HeadlessBackend::WaitForDialog(int templateId, milliseconds timeout) {
  return WaitFor(timeout, [&] { return TopmostLocked(templateId) != nullptr; });
}

bool HeadlessBackend::WaitForDialogClosed(int templateId, milliseconds timeout) {
  return WaitFor(timeout, [&] { return TopmostLocked(templateId) == nullptr; });
}

bool HeadlessBackend::WaitForIdle(milliseconds timeout) {
  return WaitFor(timeout, [&] {
    return tasks_.empty() && ((idle_ && loopDepth_ > 0) || uiFinished_);
  });
}

std::optional<MessageBoxRecord> HeadlessBackend::WaitForMessageBox(milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [&] { return !boxes_.empty(); })) return std::nullopt;
  return boxHistory_[boxes_.back()->historyIndex];
}

void HeadlessBackend::AnswerMessageBox(int result) {
  std::lock_guard lock(mutex_);
  if (boxes_.empty()) return;
  boxes_.back()->result = result;
  wake_.notify_all();
}

void HeadlessBackend::SetAutoAnswer(std::optional<int> result) {
  std::lock_guard lock(mutex_);
  autoAnswer_ = result;
}

void HeadlessBackend::EnableRealTimeTimers(bool enable) {
  std::lock_guard lock(mutex_);
  realTimeTimers_ = enable;
  const auto now = std::chrono::steady_clock::now();
  for (auto& window : windows_) {
    for (auto& [id, timer] : window->timers) timer.due = now + milliseconds(timer.periodMs);
  }
  wake_.notify_all();
}

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

void HeadlessBackend::Click(int templateId, int controlId) {
  Command(templateId, controlId, BN_CLICKED);
}

// A disabled or hidden control cannot be used, as on screen; the dialog's
// own IDOK/IDCANCEL commands (Enter, Escape) come without a control.
void HeadlessBackend::Command(int templateId, int controlId, int notificationCode) {
  PostToWindow(templateId, [this, controlId, notificationCode](CDialog& dialog,
                                                               HeadlessWindow& window) {
    {
      std::lock_guard lock(mutex_);
      const ControlState* c = window.FindLocked(controlId);
      if (c == nullptr && controlId != IDOK && controlId != IDCANCEL) return;
      if (c != nullptr && (!c->enabled || !c->visible)) return;
    }
    dialog.DispatchCommand(controlId, notificationCode);
  });
}

void HeadlessBackend::Close(int templateId) {
  PostToWindow(templateId,
               [](CDialog& dialog, HeadlessWindow&) { dialog.DispatchCommand(IDCANCEL, BN_CLICKED); });
}

void HeadlessBackend::SelectListItem(int templateId, int controlId, int index) {
  PostToWindow(templateId, [this, controlId, index](CDialog& dialog, HeadlessWindow& window) {
    {
      std::lock_guard lock(mutex_);
      ControlState* c = window.FindLocked(controlId);
      if (c == nullptr || !c->enabled || !c->visible) return;
      if (index < 0 || index >= static_cast<int>(c->items.size())) return;
      c->curSel = index;
    }
    dialog.DispatchCommand(controlId, CBN_SELCHANGE);
  });
}

void HeadlessBackend::FireTimer(int templateId, unsigned timerId) {
  PostToWindow(templateId, [this, timerId](CDialog& dialog, HeadlessWindow& window) {
    {
      std::lock_guard lock(mutex_);
      if (window.timers.count(timerId) == 0) return;
    }
    dialog.DispatchTimer(timerId);
  });
}

void HeadlessBackend::DeviceChange(int templateId) {
  PostToWindow(templateId, [](CDialog& dialog, HeadlessWindow&) { dialog.DispatchDeviceChange(); });
}

void HeadlessBackend::SysCommand(int templateId, unsigned commandId) {
  PostToWindow(templateId, [commandId](CDialog& dialog, HeadlessWindow&) {
    dialog.DispatchSysCommand(commandId, 0);
  });
}

void HeadlessBackend::Paint(int templateId) {
  PostToWindow(templateId, [](CDialog& dialog, HeadlessWindow&) { dialog.DispatchPaint(); });
}

void HeadlessBackend::SetIconic(int templateId, bool iconic, PixelSize clientSize) {
  std::lock_guard lock(mutex_);
  if (auto window = TopmostLocked(templateId)) {
    window->iconic = iconic;
    window->clientSize = clientSize;
  }
}

bool HeadlessBackend::IsDialogOpen(int templateId) const {
  std::lock_guard lock(mutex_);
  return TopmostLocked(templateId) != nullptr;
}

std::vector<int> HeadlessBackend::OpenDialogs() const {
  std::lock_guard lock(mutex_);
  std::vector<int> ids;
  for (const auto& window : windows_) ids.push_back(window->TemplateId());
  return ids;
}

std::optional<ControlState> HeadlessBackend::FindControl(int templateId, int controlId) const {
  std::lock_guard lock(mutex_);
  auto window = TopmostLocked(templateId);
  if (!window) return std::nullopt;
  const ControlState* c = window->FindLocked(controlId);
  if (c == nullptr) return std::nullopt;
  return *c;
}

ControlState HeadlessBackend::Control(int templateId, int controlId) const {
  return FindControl(templateId, controlId).value_or(ControlState{});
}

std::vector<unsigned> HeadlessBackend::Timers(int templateId) const {
  std::lock_guard lock(mutex_);
  std::vector<unsigned> ids;
  if (auto window = TopmostLocked(templateId)) {
    for (const auto& [id, timer] : window->timers) ids.push_back(id);
  }
  return ids;
}

std::vector<SystemMenuItem> HeadlessBackend::SystemMenu(int templateId) const {
  std::lock_guard lock(mutex_);
  auto window = TopmostLocked(templateId);
  return window ? window->systemMenu : std::vector<SystemMenuItem>{};
}

int HeadlessBackend::WindowIcon(int templateId, bool big) const {
  std::lock_guard lock(mutex_);
  auto window = TopmostLocked(templateId);
  if (!window) return 0;
  return big ? window->bigIcon : window->smallIcon;
}

std::vector<DrawnIcon> HeadlessBackend::DrawnIcons(int templateId) const {
  std::lock_guard lock(mutex_);
  auto window = TopmostLocked(templateId);
  return window ? window->drawnIcons : std::vector<DrawnIcon>{};
}

std::vector<MessageBoxRecord> HeadlessBackend::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return boxHistory_;
}

bool HeadlessBackend::WaitCursorShown() const {
  std::lock_guard lock(mutex_);
  return waitCursor_;
}

std::optional<int> HeadlessBackend::LastResult(int templateId) const {
  std::lock_guard lock(mutex_);
  for (auto it = results_.rbegin(); it != results_.rend(); ++it) {
    if (it->first == templateId) return it->second;
  }
  return std::nullopt;
}

}  // namespace headless
