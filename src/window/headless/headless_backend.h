#pragma once
// An in-memory backend: windows are records of their controls' state, and a
// test drives them from its own thread. The program runs on a "UI thread"
// (see HeadlessHarness); each modal run is a nested loop there that executes
// posted tasks and sleeps while there is nothing to do.
//
// Every test-side call is thread-safe. Actions (Click, SelectListItem,
// FireTimer, ...) are posted to the UI thread and return at once; call
// WaitForIdle() to let them finish, or wait for what they should lead to
// (WaitForDialog, WaitForMessageBox).
//
// Timers never fire by themselves: FireTimer() delivers one tick of a timer
// the window has set. EnableRealTimeTimers(true) lets them run on the clock.
//
// Example:
//   HeadlessHarness ui;
//   ui.Start([] { CAboutDlg box; box.DoModal(); });
//   HeadlessBackend& b = ui.Backend();
//   ASSERT_TRUE(b.WaitForDialog(IDD_ABOUTBOX));
//   EXPECT_EQ(b.Control(IDD_ABOUTBOX, IDC_VERSION).text, "Version 2, 1, 3, 0");
//   b.Click(IDD_ABOUTBOX, IDOK);
//   EXPECT_TRUE(ui.Join());

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "window/backend.h"
#include "window/dialog_template.h"

namespace headless {

using std::chrono::milliseconds;
inline constexpr milliseconds kDefaultTimeout{5000};

struct ListItem {
  std::string text;
  std::uint32_t data = 0;
};

// A copy of one control's state.
struct ControlState {
  int id = 0;
  ControlKind kind = ControlKind::StaticText;
  std::string text;
  bool enabled = true;
  bool visible = true;
  std::vector<ListItem> items;  // drop-down lists
  int curSel = -1;
  int progressPos = 0;
  int animationClip = 0;  // clip opened in an animation, 0 when none
  bool animationPlaying = false;
  int iconId = 0;  // static icons
};

struct MessageBoxRecord {
  std::string text;
  unsigned type = 0;
  int result = 0;  // 0 while the box is still shown
};

struct SystemMenuItem {
  unsigned commandId = 0;
  std::string text;
};

struct DrawnIcon {
  int x = 0;
  int y = 0;
  int iconId = 0;
};

class HeadlessWindow;

class HeadlessBackend : public Backend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // ---- Backend ----
  int RunModal(CDialog& dialog) override;
  int MessageBox(const std::string& text, unsigned type) override;
  void Post(std::function<void()> task) override;
  bool IsUiThread() const override;
  void SetWaitCursor(bool busy) override;

  // Makes the calling thread the UI thread (done by HeadlessHarness; the
  // first RunModal binds its thread when none is bound).
  void BindUiThread();
  // Called by the harness when the UI thread's function has returned.
  void MarkUiFinished();
  // After that the harness keeps the UI thread running posted tasks (a
  // worker's message box, say) until StopDraining().
  void DrainUntilStopped();
  void StopDraining();

  // Ends every modal loop (windows with IDCANCEL, boxes with IDCANCEL or
  // IDNO) and keeps later ones from waiting: used to tear down a test.
  void AbortAll();

  // Internal, for HeadlessWindow.
  std::mutex& Mutex() const { return mutex_; }
  void NotifyChangedLocked();

 private:
  friend class HeadlessWindow;
  friend class HeadlessDriver;
  struct PendingBox {
    std::size_t historyIndex = 0;
    int result = 0;  // 0 until answered
  };

  // Runs posted tasks (and real-time timers) until done() holds; done is
  // evaluated with the mutex held.
  template <typename Done>
  void RunLoop(Done done, bool endOnAbort = true);
  bool RunDueTimerLocked(std::unique_lock<std::mutex>& lock);
  std::optional<std::chrono::steady_clock::time_point> NextTimerDueLocked() const;
  std::shared_ptr<HeadlessWindow> TopmostLocked(int templateId) const;
  // Posts action to run on the UI thread against the topmost open dialog of
  // templateId at the time it runs.
  void PostToWindow(int templateId, std::function<void(CDialog&, HeadlessWindow&)> action);

  mutable std::mutex mutex_;
  std::condition_variable wake_;             // the UI thread's loop
  mutable std::condition_variable changed_;  // test-side waits
  std::deque<std::function<void()>> tasks_;
  std::vector<std::shared_ptr<HeadlessWindow>> windows_;  // bottom to top
  std::vector<std::shared_ptr<PendingBox>> boxes_;        // shown, bottom to top
  std::vector<MessageBoxRecord> boxHistory_;
  std::vector<std::pair<int, int>> results_;  // (template id, result)
  std::optional<int> autoAnswer_;
  std::thread::id uiThread_;
  int loopDepth_ = 0;
  bool idle_ = false;
  bool uiFinished_ = false;
  bool realTimeTimers_ = false;
  bool aborted_ = false;
  bool drainStopped_ = false;
  bool waitCursor_ = false;
};

}  // namespace headless
