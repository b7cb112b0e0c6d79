#pragma once
// What a test does to the headless backend and reads from it, from its own
// thread: waits, a user's actions on the open dialogs, and their state.

#include <optional>
#include <vector>

#include "window/headless/headless_backend.h"

namespace headless {

class HeadlessDriver {
 public:
  explicit HeadlessDriver(HeadlessBackend& backend) : b_(backend) {}

  // ---- Waiting ----
  // True once a dialog made from templateId is open.
  bool WaitForDialog(int templateId, milliseconds timeout = kDefaultTimeout);
  bool WaitForDialogClosed(int templateId, milliseconds timeout = kDefaultTimeout);
  // True when the UI thread has run every posted task and sleeps in a loop
  // (or its function has returned).
  bool WaitForIdle(milliseconds timeout = kDefaultTimeout);
  // The message box currently shown and not yet answered.
  std::optional<MessageBoxRecord> WaitForMessageBox(milliseconds timeout = kDefaultTimeout);

  // ---- Actions on the topmost open dialog of the template (posted) ----
  void Click(int templateId, int controlId);  // a button; IDOK/IDCANCEL for Enter/Escape
  void Command(int templateId, int controlId, int notificationCode);
  void Close(int templateId);  // the close box: IDCANCEL
  // Selects an entry as the user would (current selection + CBN_SELCHANGE).
  void SelectListItem(int templateId, int controlId, int index);
  void FireTimer(int templateId, unsigned timerId);  // ignored unless the timer is set
  // The system's notice that devices arrived or went.
  void DeviceChange(int templateId);
  void SysCommand(int templateId, unsigned commandId);
  void Paint(int templateId);
  // Answers the message box currently shown (IDOK, IDYES, IDNO, ...).
  void AnswerMessageBox(int result);
  // Answers every later box at once with result; nullopt turns it off.
  void SetAutoAnswer(std::optional<int> result);
  void EnableRealTimeTimers(bool enable);
  // Minimised painting: the window reports itself minimised with this client size.
  void SetIconic(int templateId, bool iconic, PixelSize clientSize = {});

  // ---- Reading ----
  bool IsDialogOpen(int templateId) const;
  std::vector<int> OpenDialogs() const;  // template ids, bottom to top
  std::optional<ControlState> FindControl(int templateId, int controlId) const;
  // Like FindControl, but an empty record (id 0) when there is none.
  ControlState Control(int templateId, int controlId) const;
  std::vector<unsigned> Timers(int templateId) const;  // ascending ids
  std::vector<SystemMenuItem> SystemMenu(int templateId) const;
  int WindowIcon(int templateId, bool big) const;  // 0 when none set
  std::vector<DrawnIcon> DrawnIcons(int templateId) const;
  std::vector<MessageBoxRecord> MessageBoxes() const;  // every box shown, oldest first
  bool WaitCursorShown() const;
  // Result of the last modal run that ended for templateId, or nullopt.
  std::optional<int> LastResult(int templateId) const;

 private:
  template <typename Predicate>
  bool WaitFor(milliseconds timeout, Predicate predicate) const;

  HeadlessBackend& b_;
};

}  // namespace headless
