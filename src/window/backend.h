#pragma once
// What a toolkit must provide to run our dialogs: one Backend per process
// (headless, GTK 3, Win32) and one WindowPeer per open dialog window.
// All calls except Backend::Post and Backend::IsUiThread are made on the
// user-interface thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CDialog;

struct PixelSize {
  int cx = 0;
  int cy = 0;
};

// The backend's window of one open dialog. Controls are named by id.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;

  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string GetText(int id) const = 0;
  virtual void Enable(int id, bool enable) = 0;
  virtual bool IsEnabled(int id) const = 0;
  virtual void Show(int id, bool show) = 0;
  virtual bool IsVisible(int id) const = 0;

  // Drop-down lists. Indexes are 0-based; -1 (CB_ERR) means none or failure.
  virtual void ListReset(int id) = 0;
  virtual int ListAdd(int id, const std::string& text) = 0;
  virtual bool ListSetData(int id, int index, std::uint32_t data) = 0;
  virtual std::uint32_t ListGetData(int id, int index) const = 0;
  virtual int ListCount(int id) const = 0;
  virtual std::string ListText(int id, int index) const = 0;
  virtual int ListSetCurSel(int id, int index) = 0;  // -1 clears the selection
  virtual int ListGetCurSel(int id) const = 0;

  // Progress bar, range 0..100; positions outside are clamped.
  virtual void SetProgressPos(int id, int pos) = 0;  // pos within 0..100
  virtual int GetProgressPos(int id) const = 0;

  // Animation control playing an AVI clip resource.
  virtual bool AnimationOpen(int id, int clipResourceId) = 0;
  virtual bool AnimationPlay(int id, int fromFrame, int toFrame, int repeat) = 0;
  virtual bool AnimationStop(int id) = 0;

  // Window timers: ticks arrive as CDialog::DispatchTimer on the UI thread,
  // also while another modal dialog or message box is open.
  virtual bool SetTimer(unsigned timerId, unsigned periodMs) = 0;
  virtual bool KillTimer(unsigned timerId) = 0;

  // Appends a separator and a text item to the window's system menu (or what
  // stands for it on the toolkit). False when the window has none.
  virtual bool AppendSystemMenuItem(unsigned commandId, const std::string& text) = 0;
  virtual void SetIcon(int iconResourceId, bool big) = 0;

  // Minimised painting; toolkits without it answer false / do nothing.
  virtual bool IsIconic() const { return false; }
  virtual PixelSize ClientSize() const { return {}; }
  virtual PixelSize SystemIconSize() const { return {32, 32}; }
  virtual void DrawIcon(int /*x*/, int /*y*/, int /*iconResourceId*/) {}

  // Closes the window; the modal run returns the result.
  virtual void End(int result) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Creates the dialog's window from its template, calls
  // dialog.DispatchInitDialog(), runs a nested loop until the window is
  // ended, and returns the result (-1 when the window could not be made).
  virtual int RunModal(CDialog& dialog) = 0;

  // Message box owned by the topmost open window. UI thread only: use
  // AfxMessageBox, which hands a worker's box to the UI thread.
  virtual int MessageBox(const std::string& text, unsigned type) = 0;

  // Runs task on the UI thread soon. Safe from any thread.
  virtual void Post(std::function<void()> task) = 0;
  virtual bool IsUiThread() const = 0;

  // Shows or hides the busy cursor over the program's windows, at once.
  virtual void SetWaitCursor(bool busy) = 0;
};

void InstallBackend(std::unique_ptr<Backend> backend);
Backend& CurrentBackend();
bool HasBackend();
// Counts installations, so that state kept per backend can tell a new one.
unsigned BackendGeneration();
