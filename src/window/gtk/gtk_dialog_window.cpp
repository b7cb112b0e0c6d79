// A GtkDialogWindow as a window: creation, the modal loop, keyboard and
// close box, timers and the context menu standing for the system menu.
#include "window/gtk/gtk_dialog_window.h"

#include <gdk/gdkkeysyms.h>

#include "window/dialog.h"
#include "window/gtk/dialog_font.h"
#include "window/gtk/display_text.h"
#include "window/window_types.h"

GtkDialogWindow::GtkDialogWindow(CDialog& dialog, GtkWindow* owner) : dialog_(dialog) {
  const DialogTemplate& spec = dialog.Template();
  base_ = MeasureDialogBaseUnits(spec.fontPointSize);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkStyleContext* style = gtk_widget_get_style_context(window_);
  gtk_style_context_add_class(style, "reflint-dialog");
  gtk_style_context_add_class(style, DialogStyleClass(spec.fontPointSize).c_str());
  gtk_window_set_title(Window(), ToDisplayUtf8(spec.caption).c_str());
  gtk_window_set_resizable(Window(), FALSE);
  gtk_window_set_modal(Window(), TRUE);
  gtk_window_set_deletable(Window(), (spec.style & kDialogSysMenu) != 0);
  if (owner) {
    gtk_window_set_transient_for(Window(), owner);
    gtk_window_set_type_hint(Window(), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_position(Window(), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(Window(), GTK_WIN_POS_CENTER);
  }
  gtk_window_set_skip_taskbar_hint(Window(), (spec.style & kDialogAppWindow) == 0 && owner);
  gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(&GtkDialogWindow::OnKeyPress), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkDialogWindow::OnDelete), this);
  g_signal_connect(window_, "button-press-event", G_CALLBACK(&GtkDialogWindow::OnButtonPress),
                   this);

  // A GtkLayout, not a GtkFixed: its size is the template's whatever its
  // children ask for, and it clips them to it as a dialog does.
  client_ = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_size_request(client_, DialogUnitsToPixelsX(base_, spec.cx),
                              DialogUnitsToPixelsY(base_, spec.cy));
  gtk_container_add(GTK_CONTAINER(window_), client_);
  gtk_widget_show(client_);
  BuildControls();
  if (dialog.HandlesDeviceChange())
    deviceWatch_ = std::make_unique<DeviceWatch>([this] {
      if (!ended_) dialog_.DispatchDeviceChange();
    });
}

GtkDialogWindow::~GtkDialogWindow() {
  deviceWatch_.reset();
  for (auto& [id, timer] : timers_) g_source_remove(timer->source);
  timers_.clear();
  if (queuedCommandsIdle_ != 0) g_source_remove(queuedCommandsIdle_);
  controls_.clear();  // stops the clips before their images go
  gtk_widget_destroy(window_);
}

void GtkDialogWindow::BuildControls() {
  for (const ControlTemplate& spec : dialog_.Template().controls) {
    controls_.push_back(MakeControl(spec));
    if (spec.kind == ControlKind::DefPushButton) {
      gtk_widget_set_can_default(controls_.back()->widget, TRUE);
      gtk_window_set_default(Window(), controls_.back()->widget);
    }
  }
  LinkLabelsToLists();
  // Tab moves through the controls in template order, as in a dialog, not
  // by their places on screen.
  GList* chain = nullptr;
  for (auto& control : controls_) chain = g_list_append(chain, control->outer);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_container_set_focus_chain(GTK_CONTAINER(client_), chain);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(chain);
}

std::string GtkDialogWindow::Caption() const { return dialog_.Template().caption; }

void GtkDialogWindow::Present(bool focusFirstControl) {
  if (focusFirstControl) {
    for (auto& control : controls_) {
      GtkWidget* widget = control->widget;
      if (gtk_widget_get_can_focus(widget) && gtk_widget_is_sensitive(widget) &&
          gtk_widget_get_visible(control->outer)) {
        gtk_widget_grab_focus(widget);
        break;
      }
    }
  }
  gtk_window_present(Window());
}

int GtkDialogWindow::RunUntilEnded() {
  if (!ended_) {
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
    g_main_loop_unref(loop_);
    loop_ = nullptr;
  }
  return result_;
}

void GtkDialogWindow::End(int result) {
  result_ = result;
  ended_ = true;
  gtk_widget_hide(window_);
  if (loop_) g_main_loop_quit(loop_);
}

PixelSize GtkDialogWindow::ClientSize() const {
  return {gtk_widget_get_allocated_width(client_), gtk_widget_get_allocated_height(client_)};
}

// --- Keyboard, close box and buttons -------------------------------------

// Escape and the close box; the dialog refuses it while Cancel is disabled.
void GtkDialogWindow::Cancel() { dialog_.DispatchCommand(IDCANCEL, BN_CLICKED); }

void GtkDialogWindow::PressEnter() {
  for (auto& control : controls_) {
    if (control->spec->kind != ControlKind::DefPushButton) continue;
    if (gtk_widget_is_sensitive(control->widget) && gtk_widget_get_visible(control->outer))
      dialog_.DispatchCommand(control->spec->id, BN_CLICKED);
    return;
  }
  dialog_.DispatchCommand(IDOK, BN_CLICKED);
}

// The click is handled once the button's signal is over, as a posted
// command: a handler that opens a modal dialog must not keep the signal
// (and an accessibility client that pressed the button) waiting.
void GtkDialogWindow::OnClicked(GtkButton*, gpointer data) {
  auto& control = *static_cast<Control*>(data);
  if (control.spec->id != kNoControlId)
    control.owner->QueueCommand(false, static_cast<unsigned>(control.spec->id));
}

void GtkDialogWindow::OnComboChanged(GtkComboBox*, gpointer data) {
  auto& control = *static_cast<Control*>(data);
  if (control.owner->selChangeSuppressed_ == 0 && control.spec->id != kNoControlId)
    control.owner->dialog_.DispatchCommand(control.spec->id, CBN_SELCHANGE);
}

// The list is told when it opens, so that it can bring its items up to date
// before the user picks one.
void GtkDialogWindow::OnComboPopup(GObject* combo, GParamSpec*, gpointer data) {
  auto& control = *static_cast<Control*>(data);
  gboolean shown = FALSE;
  g_object_get(combo, "popup-shown", &shown, nullptr);
  if (!shown || control.spec->id == kNoControlId) return;
  const unsigned before = control.listChanges;
  control.owner->dialog_.DispatchCommand(control.spec->id, CBN_DROPDOWN);
  if (control.listChanges == before) return;
  // An open menu does not follow changes of its items: open it afresh.
  gtk_combo_box_popdown(GTK_COMBO_BOX(combo));
  gtk_combo_box_popup(GTK_COMBO_BOX(combo));
}

gboolean GtkDialogWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto& self = *static_cast<GtkDialogWindow*>(data);
  const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
  switch (event->keyval) {
    case GDK_KEY_Escape:
      if (modifiers != 0) return FALSE;
      self.Cancel();
      return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: {
      if (modifiers != 0) return FALSE;
      // A push button with the focus is pressed itself, as on Windows.
      GtkWidget* focus = gtk_window_get_focus(self.Window());
      for (auto& control : self.controls_) {
        const ControlKind kind = control->spec->kind;
        if (control->widget == focus &&
            (kind == ControlKind::PushButton || kind == ControlKind::DefPushButton))
          return FALSE;
      }
      self.PressEnter();
      return TRUE;
    }
    case GDK_KEY_Menu:
      if (modifiers != 0 || self.menuItems_.empty()) return FALSE;
      self.PopupSystemMenu(reinterpret_cast<GdkEvent*>(event));
      return TRUE;
    case GDK_KEY_F10:
      if (modifiers != GDK_SHIFT_MASK || self.menuItems_.empty()) return FALSE;
      self.PopupSystemMenu(reinterpret_cast<GdkEvent*>(event));
      return TRUE;
    default:
      return FALSE;
  }
}

gboolean GtkDialogWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<GtkDialogWindow*>(data)->Cancel();
  return TRUE;  // the dialog decides whether it closes
}

gboolean GtkDialogWindow::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto& self = *static_cast<GtkDialogWindow*>(data);
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_SECONDARY ||
      self.menuItems_.empty())
    return FALSE;
  self.PopupSystemMenu(reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

// --- Timers --------------------------------------------------------------

bool GtkDialogWindow::SetTimer(unsigned timerId, unsigned periodMs) {
  KillTimer(timerId);  // setting a running timer again restarts it
  auto timer = std::make_unique<Timer>(Timer{this, timerId, 0});
  timer->source =
      g_timeout_add(periodMs == 0 ? 1 : periodMs, &GtkDialogWindow::OnTimer, timer.get());
  timers_[timerId] = std::move(timer);
  return true;
}

bool GtkDialogWindow::KillTimer(unsigned timerId) {
  auto it = timers_.find(timerId);
  if (it == timers_.end()) return false;
  g_source_remove(it->second->source);
  timers_.erase(it);
  return true;
}

gboolean GtkDialogWindow::OnTimer(gpointer data) {
  // The handler may kill or reset this very timer: read it before.
  const Timer timer = *static_cast<Timer*>(data);
  timer.owner->dialog_.DispatchTimer(timer.id);
  return G_SOURCE_CONTINUE;
}

// --- Context menu in place of the system menu ---------------------------

bool GtkDialogWindow::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
  if ((dialog_.Template().style & kDialogSysMenu) == 0) return false;
  menuItems_.emplace_back(commandId, text);
  return true;
}

void GtkDialogWindow::PopupSystemMenu(const GdkEvent* event) {
  if (menu_) gtk_widget_destroy(menu_);
  menu_ = gtk_menu_new();
  gtk_menu_attach_to_widget(GTK_MENU(menu_), window_, nullptr);

  // The window's own entry, then ours after a separator, as in a system menu.
  GtkWidget* close = gtk_menu_item_new_with_mnemonic("_Close");
  g_object_set_data(G_OBJECT(close), "reflint-command", GUINT_TO_POINTER(SC_CLOSE));
  gtk_widget_set_sensitive(close, dialog_.CancelAllowed());
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), close);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), gtk_separator_menu_item_new());
  for (const auto& [commandId, text] : menuItems_) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(ToDisplayUtf8(MnemonicToGtk(text)).c_str());
    g_object_set_data(G_OBJECT(item), "reflint-command", GUINT_TO_POINTER(commandId));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
  }
  gtk_container_foreach(
      GTK_CONTAINER(menu_),
      [](GtkWidget* item, gpointer self) {
        if (!GTK_IS_SEPARATOR_MENU_ITEM(item))
          g_signal_connect(item, "activate", G_CALLBACK(&GtkDialogWindow::OnMenuItem), self);
      },
      this);
  gtk_widget_show_all(menu_);

  if (event->type == GDK_BUTTON_PRESS) {
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), event);
  } else {
    gtk_menu_popup_at_widget(GTK_MENU(menu_), window_, GDK_GRAVITY_NORTH_WEST,
                             GDK_GRAVITY_NORTH_WEST, event);
    gtk_menu_shell_select_first(GTK_MENU_SHELL(menu_), TRUE);
  }
}

void GtkDialogWindow::OnMenuItem(GtkMenuItem* item, gpointer data) {
  auto& self = *static_cast<GtkDialogWindow*>(data);
  self.QueueCommand(true, GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "reflint-command")));
}

// --- Commands run from the main loop -----------------------------------

// Menu items and clicks run once their signal is over: the About box or
// dialog they may open has a main loop of its own.
void GtkDialogWindow::QueueCommand(bool system, unsigned id) {
  queuedCommands_.push_back({system, id});
  if (queuedCommandsIdle_ == 0)
    queuedCommandsIdle_ =
        g_idle_add_full(G_PRIORITY_DEFAULT, &GtkDialogWindow::OnQueuedCommands, this, nullptr);
}

gboolean GtkDialogWindow::OnQueuedCommands(gpointer data) {
  auto& self = *static_cast<GtkDialogWindow*>(data);
  self.queuedCommandsIdle_ = 0;
  const std::vector<QueuedCommand> commands = std::move(self.queuedCommands_);
  self.queuedCommands_.clear();
  for (const QueuedCommand& command : commands) {
    if (self.ended_) break;
    if (!command.system) {
      // A button disabled since (by the handler of an earlier click) takes
      // the click no more, as a disabled window takes no input.
      const Control* button = self.Find(static_cast<int>(command.id));
      if (button && gtk_widget_is_sensitive(button->widget) &&
          gtk_widget_get_visible(button->outer))
        self.dialog_.DispatchCommand(static_cast<int>(command.id), BN_CLICKED);
    } else {
      self.dialog_.DispatchSysCommand(command.id, 0);
    }
  }
  return G_SOURCE_REMOVE;
}
