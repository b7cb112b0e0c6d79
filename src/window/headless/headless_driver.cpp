#include "window/headless/headless_driver.h"

#include "window/dialog.h"
#include "window/headless/headless_window.h"

namespace headless {

template <typename Predicate>
bool HeadlessDriver::WaitFor(milliseconds timeout, Predicate predicate) const {
  std::unique_lock lock(b_.mutex_);
  return b_.changed_.wait_for(lock, timeout, predicate);
}

bool HeadlessDriver::WaitForDialog(int templateId, milliseconds timeout) {
  return WaitFor(timeout, [&] { return b_.TopmostLocked(templateId) != nullptr; });
}

bool HeadlessDriver::WaitForDialogClosed(int templateId, milliseconds timeout) {
  return WaitFor(timeout, [&] { return b_.TopmostLocked(templateId) == nullptr; });
}

bool HeadlessDriver::WaitForIdle(milliseconds timeout) {
  return WaitFor(timeout, [&] {
    return b_.tasks_.empty() && ((b_.idle_ && b_.loopDepth_ > 0) || b_.uiFinished_);
  });
}

std::optional<MessageBoxRecord> HeadlessDriver::WaitForMessageBox(milliseconds timeout) {
  std::unique_lock lock(b_.mutex_);
  if (!b_.changed_.wait_for(lock, timeout, [&] { return !b_.boxes_.empty(); })) return std::nullopt;
  return b_.boxHistory_[b_.boxes_.back()->historyIndex];
}

void HeadlessDriver::AnswerMessageBox(int result) {
  std::lock_guard lock(b_.mutex_);
  if (b_.boxes_.empty()) return;
  b_.boxes_.back()->result = result;
  b_.wake_.notify_all();
}

void HeadlessDriver::SetAutoAnswer(std::optional<int> result) {
  std::lock_guard lock(b_.mutex_);
  b_.autoAnswer_ = result;
}

void HeadlessDriver::EnableRealTimeTimers(bool enable) {
  std::lock_guard lock(b_.mutex_);
  b_.realTimeTimers_ = enable;
  const auto now = std::chrono::steady_clock::now();
  for (auto& window : b_.windows_) {
    for (auto& [id, timer] : window->timers) timer.due = now + milliseconds(timer.periodMs);
  }
  b_.wake_.notify_all();
}

void HeadlessDriver::Click(int templateId, int controlId) {
  Command(templateId, controlId, BN_CLICKED);
}

// A disabled or hidden control cannot be used, as on screen; the dialog's
// own IDOK/IDCANCEL commands (Enter, Escape) come without a control.
void HeadlessDriver::Command(int templateId, int controlId, int notificationCode) {
  b_.PostToWindow(templateId,
                  [this, controlId, notificationCode](CDialog& dialog, HeadlessWindow& window) {
                    {
                      std::lock_guard lock(b_.mutex_);
                      const ControlState* c = window.FindLocked(controlId);
                      if (c == nullptr && controlId != IDOK && controlId != IDCANCEL) return;
                      if (c != nullptr && (!c->enabled || !c->visible)) return;
                    }
                    dialog.DispatchCommand(controlId, notificationCode);
                  });
}

void HeadlessDriver::Close(int templateId) {
  b_.PostToWindow(templateId, [](CDialog& dialog, HeadlessWindow&) {
    dialog.DispatchCommand(IDCANCEL, BN_CLICKED);
  });
}

void HeadlessDriver::SelectListItem(int templateId, int controlId, int index) {
  b_.PostToWindow(templateId, [this, controlId, index](CDialog& dialog, HeadlessWindow& window) {
    {
      std::lock_guard lock(b_.mutex_);
      ControlState* c = window.FindLocked(controlId);
      if (c == nullptr || !c->enabled || !c->visible) return;
      if (index < 0 || index >= static_cast<int>(c->items.size())) return;
      c->curSel = index;
    }
    dialog.DispatchCommand(controlId, CBN_SELCHANGE);
  });
}

void HeadlessDriver::FireTimer(int templateId, unsigned timerId) {
  b_.PostToWindow(templateId, [this, timerId](CDialog& dialog, HeadlessWindow& window) {
    {
      std::lock_guard lock(b_.mutex_);
      if (window.timers.count(timerId) == 0) return;
    }
    dialog.DispatchTimer(timerId);
  });
}

void HeadlessDriver::DeviceChange(int templateId) {
  b_.PostToWindow(templateId,
                  [](CDialog& dialog, HeadlessWindow&) { dialog.DispatchDeviceChange(); });
}

void HeadlessDriver::SysCommand(int templateId, unsigned commandId) {
  b_.PostToWindow(templateId, [commandId](CDialog& dialog, HeadlessWindow&) {
    dialog.DispatchSysCommand(commandId, 0);
  });
}

void HeadlessDriver::Paint(int templateId) {
  b_.PostToWindow(templateId, [](CDialog& dialog, HeadlessWindow&) { dialog.DispatchPaint(); });
}

void HeadlessDriver::SetIconic(int templateId, bool iconic, PixelSize clientSize) {
  std::lock_guard lock(b_.mutex_);
  if (auto window = b_.TopmostLocked(templateId)) {
    window->iconic = iconic;
    window->clientSize = clientSize;
  }
}

bool HeadlessDriver::IsDialogOpen(int templateId) const {
  std::lock_guard lock(b_.mutex_);
  return b_.TopmostLocked(templateId) != nullptr;
}

std::vector<int> HeadlessDriver::OpenDialogs() const {
  std::lock_guard lock(b_.mutex_);
  std::vector<int> ids;
  for (const auto& window : b_.windows_) ids.push_back(window->TemplateId());
  return ids;
}

std::optional<ControlState> HeadlessDriver::FindControl(int templateId, int controlId) const {
  std::lock_guard lock(b_.mutex_);
  auto window = b_.TopmostLocked(templateId);
  if (!window) return std::nullopt;
  const ControlState* c = window->FindLocked(controlId);
  if (c == nullptr) return std::nullopt;
  return *c;
}

ControlState HeadlessDriver::Control(int templateId, int controlId) const {
  return FindControl(templateId, controlId).value_or(ControlState{});
}

std::vector<unsigned> HeadlessDriver::Timers(int templateId) const {
  std::lock_guard lock(b_.mutex_);
  std::vector<unsigned> ids;
  if (auto window = b_.TopmostLocked(templateId)) {
    for (const auto& [id, timer] : window->timers) ids.push_back(id);
  }
  return ids;
}

std::vector<SystemMenuItem> HeadlessDriver::SystemMenu(int templateId) const {
  std::lock_guard lock(b_.mutex_);
  auto window = b_.TopmostLocked(templateId);
  return window ? window->systemMenu : std::vector<SystemMenuItem>{};
}

int HeadlessDriver::WindowIcon(int templateId, bool big) const {
  std::lock_guard lock(b_.mutex_);
  auto window = b_.TopmostLocked(templateId);
  if (!window) return 0;
  return big ? window->bigIcon : window->smallIcon;
}

std::vector<DrawnIcon> HeadlessDriver::DrawnIcons(int templateId) const {
  std::lock_guard lock(b_.mutex_);
  auto window = b_.TopmostLocked(templateId);
  return window ? window->drawnIcons : std::vector<DrawnIcon>{};
}

std::vector<MessageBoxRecord> HeadlessDriver::MessageBoxes() const {
  std::lock_guard lock(b_.mutex_);
  return b_.boxHistory_;
}

bool HeadlessDriver::WaitCursorShown() const {
  std::lock_guard lock(b_.mutex_);
  return b_.waitCursor_;
}

std::optional<int> HeadlessDriver::LastResult(int templateId) const {
  std::lock_guard lock(b_.mutex_);
  for (auto it = b_.results_.rbegin(); it != b_.results_.rend(); ++it) {
    if (it->first == templateId) return it->second;
  }
  return std::nullopt;
}

}  // namespace headless
