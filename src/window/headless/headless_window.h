#pragma once
// One open dialog of the headless backend: its controls' state in memory.
// Every member is guarded by the backend's mutex.

#include <chrono>
#include <map>

#include "window/headless/headless_backend.h"

namespace headless {

struct TimerState {
  unsigned periodMs = 0;
  std::chrono::steady_clock::time_point due;
};

class HeadlessWindow : public WindowPeer {
 public:
  HeadlessWindow(HeadlessBackend& backend, CDialog& dialog);

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) const override;
  void Enable(int id, bool enable) override;
  bool IsEnabled(int id) const override;
  void Show(int id, bool show) override;
  bool IsVisible(int id) const override;

  void ListReset(int id) override;
  int ListAdd(int id, const std::string& text) override;
  bool ListSetData(int id, int index, std::uint32_t data) override;
  std::uint32_t ListGetData(int id, int index) const override;
  int ListCount(int id) const override;
  std::string ListText(int id, int index) const override;
  int ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override;

  void SetProgressPos(int id, int pos) override;
  int GetProgressPos(int id) const override;

  bool AnimationOpen(int id, int clipResourceId) override;
  bool AnimationPlay(int id, int fromFrame, int toFrame, int repeat) override;
  bool AnimationStop(int id) override;

  bool SetTimer(unsigned timerId, unsigned periodMs) override;
  bool KillTimer(unsigned timerId) override;

  bool AppendSystemMenuItem(unsigned commandId, const std::string& text) override;
  void SetIcon(int iconResourceId, bool big) override;

  bool IsIconic() const override;
  PixelSize ClientSize() const override;
  void DrawIcon(int x, int y, int iconResourceId) override;

  void End(int result) override;

  // With the backend's mutex held.
  CDialog& Dialog() const { return dialog_; }
  int TemplateId() const { return templateId_; }
  bool Ended() const { return ended_; }
  int Result() const { return result_; }
  ControlState* FindLocked(int id);
  const ControlState* FindLocked(int id) const;

  std::map<unsigned, TimerState> timers;
  std::vector<SystemMenuItem> systemMenu;
  int bigIcon = 0;
  int smallIcon = 0;
  bool iconic = false;
  PixelSize clientSize;
  std::vector<DrawnIcon> drawnIcons;

 private:
  HeadlessBackend& backend_;
  CDialog& dialog_;
  int templateId_;
  bool hasSystemMenu_;
  std::map<int, ControlState> controls_;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace headless
