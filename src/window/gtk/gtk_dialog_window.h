#pragma once
// One open dialog as a GTK window: the template's controls on a GtkLayout at
// their dialog-unit positions, the keyboard of a classic dialog (Enter,
// Escape), the close box, window timers, the context menu that stands for
// the system menu, and the nested main loop of a modal run.

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "window/backend.h"
#include "window/dialog_template.h"
#include "window/gtk/clip_player.h"
#include "window/gtk/device_watch.h"
#include "window/gtk/dialog_units.h"
#include "window/gtk/gobject_ref.h"

class GtkDialogWindow final : public WindowPeer {
 public:
  // owner: the window this one is modal over, or null.
  GtkDialogWindow(CDialog& dialog, GtkWindow* owner);
  ~GtkDialogWindow() override;
  GtkDialogWindow(const GtkDialogWindow&) = delete;
  GtkDialogWindow& operator=(const GtkDialogWindow&) = delete;

  GtkWindow* Window() const { return GTK_WINDOW(window_); }
  std::string Caption() const;
  // Shows the window; focusFirstControl gives the focus to the first control
  // in template order that accepts it.
  void Present(bool focusFirstControl);
  // Runs the nested main loop until End; returns the result.
  int RunUntilEnded();
  bool Ended() const { return ended_; }
  int Result() const { return result_; }

  // WindowPeer.
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
  PixelSize ClientSize() const override;
  void End(int result) override;

 private:
  struct Control {
    GtkDialogWindow* owner = nullptr;
    const ControlTemplate* spec = nullptr;
    GtkWidget* outer = nullptr;   // the child of the client area
    GtkWidget* widget = nullptr;  // the label, button, combo, bar or image itself
    std::string text;             // as the program gave it, mnemonic marks included
    std::vector<std::string> items;
    std::vector<std::uint32_t> itemData;
    unsigned listChanges = 0;  // counts resets and additions
    int progress = 0;
    std::unique_ptr<ClipPlayer> clip;
  };
  struct Timer {
    GtkDialogWindow* owner;
    unsigned id;
    guint source;
  };

  void BuildControls();
  std::unique_ptr<Control> MakeControl(const ControlTemplate& spec);
  void LinkLabelsToLists();
  void ShowText(Control& control);
  Control* Find(int id);
  const Control* Find(int id) const;
  Control* FindList(int id);
  const Control* FindList(int id) const;
  void Cancel();
  void PressEnter();
  void PopupSystemMenu(const GdkEvent* event);
  void QueueCommand(bool system, unsigned id);

  static void OnClicked(GtkButton* button, gpointer control);
  static void OnComboChanged(GtkComboBox* combo, gpointer control);
  static void OnComboPopup(GObject* combo, GParamSpec* property, gpointer control);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnTimer(gpointer timer);
  static gboolean OnQueuedCommands(gpointer self);
  static void OnMenuItem(GtkMenuItem* item, gpointer self);

  CDialog& dialog_;
  GtkWidget* window_ = nullptr;
  GtkWidget* client_ = nullptr;
  DialogBaseUnits base_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<unsigned, std::unique_ptr<Timer>> timers_;
  std::vector<std::pair<unsigned, std::string>> menuItems_;
  GtkWidget* menu_ = nullptr;
  struct QueuedCommand {
    bool system;  // a system command, or a button's click
    unsigned id;
  };
  std::vector<QueuedCommand> queuedCommands_;
  guint queuedCommandsIdle_ = 0;
  GObjectRef<GdkPixbuf> bigIcon_;
  GObjectRef<GdkPixbuf> smallIcon_;
  GMainLoop* loop_ = nullptr;
  std::unique_ptr<DeviceWatch> deviceWatch_;  // only for a dialog that handles device changes
  int selChangeSuppressed_ = 0;               // programmatic list changes send no notification
  bool ended_ = false;
  int result_ = 0;
};
