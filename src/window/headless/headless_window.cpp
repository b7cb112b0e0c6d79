#include "window/headless/headless_window.h"

#include <algorithm>

#include "window/dialog.h"

namespace headless {

HeadlessWindow::HeadlessWindow(HeadlessBackend& backend, CDialog& dialog)
    : backend_(backend),
      dialog_(dialog),
      templateId_(dialog.Template().id),
      hasSystemMenu_((dialog.Template().style & kDialogSysMenu) != 0) {
  for (const ControlTemplate& c : dialog.Template().controls) {
    if (c.id == kNoControlId) continue;
    ControlState state;
    state.id = c.id;
    state.kind = c.kind;
    state.text = c.text;
    state.visible = (c.style & kStyleHidden) == 0;
    state.iconId = c.iconId;
    controls_.emplace(c.id, std::move(state));
  }
}

ControlState* HeadlessWindow::FindLocked(int id) {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

const ControlState* HeadlessWindow::FindLocked(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

void HeadlessWindow::SetText(int id, const std::string& text) {
  std::lock_guard lock(backend_.Mutex());
  if (ControlState* c = FindLocked(id)) c->text = text;
  backend_.NotifyChangedLocked();
}

std::string HeadlessWindow::GetText(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr ? c->text : std::string();
}

void HeadlessWindow::Enable(int id, bool enable) {
  std::lock_guard lock(backend_.Mutex());
  if (ControlState* c = FindLocked(id)) c->enabled = enable;
  backend_.NotifyChangedLocked();
}

bool HeadlessWindow::IsEnabled(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr && c->enabled;
}

void HeadlessWindow::Show(int id, bool show) {
  std::lock_guard lock(backend_.Mutex());
  if (ControlState* c = FindLocked(id)) c->visible = show;
  backend_.NotifyChangedLocked();
}

bool HeadlessWindow::IsVisible(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr && c->visible;
}

void HeadlessWindow::ListReset(int id) {
  std::lock_guard lock(backend_.Mutex());
  if (ControlState* c = FindLocked(id)) {
    c->items.clear();
    c->curSel = -1;
  }
}

int HeadlessWindow::ListAdd(int id, const std::string& text) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr || c->kind != ControlKind::DropDownList) return CB_ERR;
  c->items.push_back({text, 0});
  return static_cast<int>(c->items.size()) - 1;
}

bool HeadlessWindow::ListSetData(int id, int index, std::uint32_t data) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size())) return false;
  c->items[index].data = data;
  return true;
}

std::uint32_t HeadlessWindow::ListGetData(int id, int index) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size())) {
    return static_cast<std::uint32_t>(CB_ERR);
  }
  return c->items[index].data;
}

int HeadlessWindow::ListCount(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr ? static_cast<int>(c->items.size()) : CB_ERR;
}

std::string HeadlessWindow::ListText(int id, int index) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size())) return {};
  return c->items[index].text;
}

// As the list control does: an index out of range clears the selection and
// reports CB_ERR.
int HeadlessWindow::ListSetCurSel(int id, int index) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr) return CB_ERR;
  backend_.NotifyChangedLocked();
  if (index < 0 || index >= static_cast<int>(c->items.size())) {
    c->curSel = -1;
    return CB_ERR;
  }
  c->curSel = index;
  return index;
}

int HeadlessWindow::ListGetCurSel(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr ? c->curSel : CB_ERR;
}

void HeadlessWindow::SetProgressPos(int id, int pos) {
  std::lock_guard lock(backend_.Mutex());
  if (ControlState* c = FindLocked(id)) c->progressPos = pos;
  backend_.NotifyChangedLocked();
}

int HeadlessWindow::GetProgressPos(int id) const {
  std::lock_guard lock(backend_.Mutex());
  const ControlState* c = FindLocked(id);
  return c != nullptr ? c->progressPos : 0;
}

bool HeadlessWindow::AnimationOpen(int id, int clipResourceId) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr || c->kind != ControlKind::Animation) return false;
  c->animationClip = clipResourceId;
  c->animationPlaying = false;
  return true;
}

bool HeadlessWindow::AnimationPlay(int id, int, int, int) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr || c->animationClip == 0) return false;
  c->animationPlaying = true;
  backend_.NotifyChangedLocked();
  return true;
}

bool HeadlessWindow::AnimationStop(int id) {
  std::lock_guard lock(backend_.Mutex());
  ControlState* c = FindLocked(id);
  if (c == nullptr || c->kind != ControlKind::Animation) return false;
  c->animationPlaying = false;
  backend_.NotifyChangedLocked();
  return true;
}

bool HeadlessWindow::SetTimer(unsigned timerId, unsigned periodMs) {
  std::lock_guard lock(backend_.Mutex());
  timers[timerId] = {periodMs,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(periodMs)};
  backend_.NotifyChangedLocked();
  return true;
}

bool HeadlessWindow::KillTimer(unsigned timerId) {
  std::lock_guard lock(backend_.Mutex());
  const bool wasSet = timers.erase(timerId) > 0;
  backend_.NotifyChangedLocked();
  return wasSet;
}

bool HeadlessWindow::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
  std::lock_guard lock(backend_.Mutex());
  if (!hasSystemMenu_) return false;
  systemMenu.push_back({commandId, text});
  return true;
}

void HeadlessWindow::SetIcon(int iconResourceId, bool big) {
  std::lock_guard lock(backend_.Mutex());
  (big ? bigIcon : smallIcon) = iconResourceId;
}

bool HeadlessWindow::IsIconic() const {
  std::lock_guard lock(backend_.Mutex());
  return iconic;
}

PixelSize HeadlessWindow::ClientSize() const {
  std::lock_guard lock(backend_.Mutex());
  return clientSize;
}

void HeadlessWindow::DrawIcon(int x, int y, int iconResourceId) {
  std::lock_guard lock(backend_.Mutex());
  drawnIcons.push_back({x, y, iconResourceId});
}

void HeadlessWindow::End(int result) {
  std::lock_guard lock(backend_.Mutex());
  if (ended_) return;
  ended_ = true;
  result_ = result;
  backend_.NotifyChangedLocked();
}

}  // namespace headless
