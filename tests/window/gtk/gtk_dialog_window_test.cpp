// The GTK backend on a real display (run under xvfb-run): controls, the
// keyboard of a dialog, timers during nested loops, posts from threads,
// the context menu, the clip player and the wait cursor.
#include "window/gtk/gtk_dialog_window.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "window/dialog.h"
#include "window/gtk/avi_builder.h"
#include "window/gtk/gtk_backend.h"
#include "window/resources.h"
#include "window/ui_thread.h"

namespace {

constexpr int kName = 10;
constexpr int kList = 11;
constexpr int kBar = 12;
constexpr int kClip = 13;
constexpr int kOnce = 14;
constexpr int kClipResource = 132;

constexpr std::array<ControlTemplate, 7> kControls{{
    {IDOK, ControlKind::DefPushButton, "&OK", 5, 60, 50, 14, kStyleTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 60, 60, 50, 14, kStyleTabStop},
    {kName, ControlKind::StaticText, "Placeholder", 5, 5, 100, 8, kStyleNone},
    {kList, ControlKind::DropDownList, "", 5, 18, 100, 50, kStyleTabStop},
    {kBar, ControlKind::ProgressBar, "", 5, 34, 100, 8, kStyleHidden},
    {kClip, ControlKind::Animation, "", 110, 5, 60, 40, kStyleTransparent},
    {kOnce, ControlKind::PushButton, "Once", 115, 60, 50, 14, kStyleTabStop},
}};
constexpr DialogTemplate kTemplate{
    950, "Backend test", 180, 80, "MS Sans Serif", 8, kDialogSysMenu | kDialogAppWindow, kControls};

std::vector<std::uint8_t>& ClipBytes() {
  static std::vector<std::uint8_t> bytes = [] {
    AviSpec spec;
    spec.width = 4;
    spec.height = 2;
    spec.rate = 50;  // 20 ms per frame
    spec.palette = {0xFF00FF, 0x000000, 0xFFFFFF};
    spec.frames = {std::vector<std::uint8_t>(8, 0), std::vector<std::uint8_t>(8, 1),
                   std::vector<std::uint8_t>(8, 2)};
    return AviBuilder::Build(spec);
  }();
  return bytes;
}

bool EnsureBackend() {
  static const bool ready = [] {
    int argc = 0;
    char** argv = nullptr;
    std::unique_ptr<Backend> backend = CreateGtkBackend(&argc, &argv);
    if (!backend) return false;
    InstallBackend(std::move(backend));
    InstallResources({[](int) { return std::span<const std::uint8_t>(); },
                      [](int id) {
                        return id == kClipResource ? std::span<const std::uint8_t>(ClipBytes())
                                                   : std::span<const std::uint8_t>();
                      },
                      [](int) { return std::string(); }});
    return true;
  }();
  return ready;
}

// A dialog that runs a test script: once when it opens, then on every tick
// of a short timer until the script ends the dialog.
class ScriptDlg : public CDialog {
 public:
  ScriptDlg() : CDialog(kTemplate) {}

  std::function<void(ScriptDlg&)> onInit;
  std::function<void(ScriptDlg&, int tick)> onTick;
  std::vector<int> commands;  // ids of dispatched clicks
  std::vector<int> selChanges;
  std::vector<unsigned> sysCommands;
  std::vector<unsigned> timerIds;
  int ticks = 0;

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    if (onTick) SetTimer(kScriptTimer, 20);
    return true;
  }
  void OnOK() override {
    commands.push_back(IDOK);
    CDialog::OnOK();
  }
  void OnCancel() override {
    commands.push_back(IDCANCEL);
    CDialog::OnCancel();
  }
  void OnSelchange() { selChanges.push_back(Peer()->ListGetCurSel(kList)); }
  void OnOnce() {
    ++onceClicks;
    Peer()->Enable(kOnce, false);
  }
  int onceClicks = 0;
  void OnSysCommand(unsigned id, std::intptr_t) { sysCommands.push_back(id); }
  void OnTimer(unsigned id) {
    timerIds.push_back(id);
    if (id == kScriptTimer && onTick) onTick(*this, ticks++);
  }

  GtkDialogWindow& Gtk() { return *dynamic_cast<GtkDialogWindow*>(Peer()); }

  static constexpr unsigned kScriptTimer = 99;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ScriptDlg, CDialog)
ON_CBN_SELCHANGE(kList, OnSelchange)
ON_BN_CLICKED(kOnce, OnOnce)
ON_WM_SYSCOMMAND()
ON_WM_TIMER()
END_MESSAGE_MAP()

void SendKey(GtkWindow* window, guint keyval, GdkModifierType state = GdkModifierType(0)) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
  event->key.keyval = keyval;
  event->key.state = state;
  event->key.send_event = TRUE;
  gdk_event_set_device(
      event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gboolean handled = FALSE;
  g_signal_emit_by_name(window, "key-press-event", event, &handled);
  gdk_event_free(event);
}

// The message box on screen, if any.
GtkDialog* OpenMessageBox() {
  GList* windows = gtk_window_list_toplevels();
  GtkDialog* found = nullptr;
  for (GList* w = windows; w; w = w->next)
    if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
      found = GTK_DIALOG(w->data);
  g_list_free(windows);
  return found;
}

std::string MessageText(GtkDialog* box) {
  gchar* text = nullptr;
  g_object_get(box, "text", &text, nullptr);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

// The controls' own widgets on the client area, out of the boxes and frames
// that hold them to their rectangles.
std::vector<GtkWidget*> ControlWidgets(GtkWindow* window) {
  std::vector<GtkWidget*> widgets;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window))));
  for (GList* k = kids; k; k = k->next) {
    GtkWidget* widget = GTK_WIDGET(k->data);
    while (GTK_IS_BIN(widget) && !GTK_IS_BUTTON(widget) && gtk_bin_get_child(GTK_BIN(widget)))
      widget = gtk_bin_get_child(GTK_BIN(widget));
    widgets.push_back(widget);
  }
  g_list_free(kids);
  return widgets;
}

#define REQUIRE_DISPLAY() \
  if (!EnsureBackend()) GTEST_SKIP() << "no display"

TEST(GtkDialogWindow, TextsListsProgressAndVisibility) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  dialog.onInit = [](ScriptDlg& d) {
    WindowPeer& peer = *d.Peer();
    peer.SetText(kName, "&Name_1");
    EXPECT_EQ(peer.GetText(kName), "&Name_1");  // as given, mnemonic mark included

    EXPECT_EQ(peer.ListAdd(kList, "COM1"), 0);
    EXPECT_EQ(peer.ListAdd(kList, "COM3"), 1);
    EXPECT_TRUE(peer.ListSetData(kList, 1, 3));
    EXPECT_FALSE(peer.ListSetData(kList, 2, 9));
    EXPECT_EQ(peer.ListGetData(kList, 1), 3u);
    EXPECT_EQ(peer.ListGetData(kList, 5), static_cast<std::uint32_t>(CB_ERR));
    EXPECT_EQ(peer.ListSetCurSel(kList, 1), 1);
    EXPECT_EQ(peer.GetText(kList), "COM3");
    EXPECT_EQ(peer.ListSetCurSel(kList, 7), CB_ERR);
    EXPECT_EQ(peer.ListGetCurSel(kList), CB_ERR);
    EXPECT_EQ(peer.ListText(kList, 0), "COM1");
    EXPECT_EQ(peer.ListCount(kList), 2);
    EXPECT_TRUE(d.selChanges.empty());  // the program's own changes notify nothing

    CProgressCtrl bar;
    bar.Attach(&d, kBar);
    bar.SetPos(150);
    EXPECT_EQ(peer.GetProgressPos(kBar), 100);
    EXPECT_EQ(bar.SetPos(-4), 100);
    EXPECT_EQ(peer.GetProgressPos(kBar), 0);

    EXPECT_FALSE(peer.IsVisible(kBar));
    peer.Show(kBar, true);
    EXPECT_TRUE(peer.IsVisible(kBar));
    peer.Enable(IDOK, false);
    EXPECT_FALSE(peer.IsEnabled(IDOK));
    EXPECT_FALSE(peer.IsEnabled(4711));
    EXPECT_EQ(peer.GetText(4711), "");
    d.EndDialog(42);  // ending from the opening never shows the window
  };
  EXPECT_EQ(dialog.DoModal(), 42);
  EXPECT_FALSE(dialog.IsOpen());
}

TEST(GtkDialogWindow, UserSelectionNotifiesAndShowsUtf8) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  dialog.onInit = [](ScriptDlg& d) {
    d.Peer()->ListAdd(kList, "caf\xE9");  // an ANSI text
    d.Peer()->ListAdd(kList, "COM2");
  };
  dialog.onTick = [](ScriptDlg& d, int) {
    GtkWidget* focus = gtk_window_get_focus(d.Gtk().Window());
    GtkWidget* combo = gtk_widget_get_ancestor(focus, GTK_TYPE_COMBO_BOX);
    EXPECT_EQ(combo, nullptr) << "the first control, OK, has the focus";
    // Find the combo as the user would meet it and pick the first entry.
    GList* kids =
        gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(d.Gtk().Window()))));
    for (GList* k = kids; k; k = k->next)
      if (GTK_IS_COMBO_BOX_TEXT(k->data)) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(k->data), 0);
        gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(k->data));
        EXPECT_STREQ(text, "caf\xC3\xA9");
        g_free(text);
      }
    g_list_free(kids);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(dialog.selChanges, std::vector<int>{0});
  EXPECT_EQ(dialog.Template().id, 950);
}

TEST(GtkDialogWindow, EnterAndEscapeRespectDisabledButtons) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  dialog.onTick = [](ScriptDlg& d, int tick) {
    GtkWindow* window = d.Gtk().Window();
    WindowPeer& peer = *d.Peer();
    if (tick == 0) {
      peer.Enable(IDOK, false);
      peer.Enable(IDCANCEL, false);
      SendKey(window, GDK_KEY_Return);
      SendKey(window, GDK_KEY_Escape);
      gtk_window_close(window);  // the close box
      EXPECT_TRUE(d.commands.empty());
      peer.Enable(IDOK, true);
      gtk_window_set_focus(window, nullptr);
      SendKey(window, GDK_KEY_KP_Enter);
      EXPECT_EQ(d.commands, std::vector<int>{IDOK});
    }
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);

  ScriptDlg escaped;
  escaped.onTick = [](ScriptDlg& d, int) { SendKey(d.Gtk().Window(), GDK_KEY_Escape); };
  EXPECT_EQ(escaped.DoModal(), IDCANCEL);

  ScriptDlg closed;
  closed.onTick = [](ScriptDlg& d, int) { gtk_window_close(d.Gtk().Window()); };
  EXPECT_EQ(closed.DoModal(), IDCANCEL);
}

GtkWidget* ButtonLabelled(GtkWindow* window, const char* label) {
  GtkWidget* found = nullptr;
  for (GtkWidget* widget : ControlWidgets(window))
    if (GTK_IS_BUTTON(widget) && std::string(gtk_button_get_label(GTK_BUTTON(widget))) == label)
      found = widget;
  return found;
}

TEST(GtkDialogWindow, ClicksRunAfterTheSignalAndNotOnADisabledButton) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  int clicksDuringSignal = -1;
  dialog.onTick = [&](ScriptDlg& d, int tick) {
    if (tick == 0) {
      GtkWidget* once = ButtonLabelled(d.Gtk().Window(), "Once");
      ASSERT_NE(once, nullptr);
      gtk_button_clicked(GTK_BUTTON(once));
      gtk_button_clicked(GTK_BUTTON(once));  // a double click before the handler ran
      clicksDuringSignal = d.onceClicks;
    } else if (tick == 3) {
      d.EndDialog(IDOK);
    }
  };
  dialog.DoModal();
  EXPECT_EQ(clicksDuringSignal, 0);
  EXPECT_EQ(dialog.onceClicks, 1);  // the handler disabled the button: the second is dropped
}

TEST(GtkDialogWindow, TimersTickWhileAMessageBoxIsOpen) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  int ticksBeforeBox = -1;
  int answer = 0;
  std::string shownText;
  bool yesIsDefault = false;
  dialog.onInit = [&](ScriptDlg& d) {
    PostToUiThread([&] {
      ticksBeforeBox = d.ticks;
      answer = AfxMessageBox("Line one\nAre you sure", MB_YESNO | MB_ICONQUESTION);
      d.EndDialog(IDOK);
    });
  };
  dialog.onTick = [&](ScriptDlg& d, int tick) {
    GtkDialog* box = OpenMessageBox();
    if (!box || tick < 8) return;
    shownText = MessageText(box);
    GtkWidget* byDefault = gtk_window_get_default_widget(GTK_WINDOW(box));
    yesIsDefault = byDefault && std::string(gtk_button_get_label(GTK_BUTTON(byDefault))) == "_Yes";
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(box)), d.Gtk().Window());
    gtk_dialog_response(box, GTK_RESPONSE_NO);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(shownText, "Line one\nAre you sure");
  EXPECT_TRUE(yesIsDefault);
  EXPECT_GE(dialog.ticks - ticksBeforeBox, 8);
}

TEST(GtkDialogWindow, ClosingAQuestionDeclinesItAndAnOkBoxAnswersOk) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  int question = 0;
  int notice = 0;
  dialog.onInit = [&](ScriptDlg& d) {
    PostToUiThread([&] {
      question = AfxMessageBox("Sure?", MB_YESNO | MB_ICONQUESTION);
      notice = AfxMessageBox("Done.");
      d.EndDialog(IDOK);
    });
  };
  dialog.onTick = [](ScriptDlg&, int tick) {
    GtkDialog* box = OpenMessageBox();
    if (!box) return;
    if (tick < 100)
      gtk_window_close(GTK_WINDOW(box));  // what Escape and the close box do to a GtkDialog
    else
      gtk_dialog_response(box, GTK_RESPONSE_OK);  // never hang the test
  };
  dialog.DoModal();
  EXPECT_EQ(question, IDNO);
  EXPECT_EQ(notice, IDOK);
}

TEST(GtkDialogWindow, WorkerMessageBoxWaitsForTheUser) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  std::atomic<int> answer{0};
  std::atomic<bool> ranOnUiThread{false};
  std::thread worker;
  dialog.onInit = [&](ScriptDlg&) {
    worker = std::thread([&] {
      RunOnUiThread([&] { ranOnUiThread = CurrentBackend().IsUiThread(); });
      answer = AfxMessageBox("The firmware has been updated successfully!\n");
    });
  };
  dialog.onTick = [&](ScriptDlg& d, int) {
    if (GtkDialog* box = OpenMessageBox()) {
      EXPECT_EQ(answer.load(), 0);  // the worker still waits
      gtk_dialog_response(box, GTK_RESPONSE_OK);
    } else if (answer.load() != 0) {
      d.EndDialog(IDOK);
    }
  };
  dialog.DoModal();
  worker.join();
  EXPECT_TRUE(ranOnUiThread.load());
  EXPECT_EQ(answer.load(), IDOK);
  EXPECT_TRUE(CurrentBackend().IsUiThread());
}

TEST(GtkDialogWindow, ContextMenuSendsTheSystemCommand) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  dialog.onInit = [](ScriptDlg& d) { EXPECT_TRUE(d.AppendSystemMenuItem(16, "&About...")); };
  dialog.onTick = [](ScriptDlg& d, int tick) {
    GtkWindow* window = d.Gtk().Window();
    if (tick == 0) {
      SendKey(window, GDK_KEY_F10, GDK_SHIFT_MASK);
      GList* menus = gtk_menu_get_for_attach_widget(GTK_WIDGET(window));
      ASSERT_NE(menus, nullptr);
      GtkWidget* menu = GTK_WIDGET(menus->data);
      EXPECT_TRUE(gtk_widget_get_visible(menu));
      GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
      for (GList* i = items; i; i = i->next) {
        const gchar* label = gtk_menu_item_get_label(GTK_MENU_ITEM(i->data));
        if (label && std::string(label) == "_About...")
          gtk_menu_item_activate(GTK_MENU_ITEM(i->data));
      }
      g_list_free(items);
      gtk_menu_shell_deactivate(GTK_MENU_SHELL(menu));
    } else if (!d.sysCommands.empty()) {
      d.EndDialog(IDOK);
    }
  };
  dialog.DoModal();
  EXPECT_EQ(dialog.sysCommands, std::vector<unsigned>{16});
}

TEST(GtkDialogWindow, ClipPlaysRepeatedlyAndStops) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  std::set<GdkPixbuf*> seen;
  GdkPixbuf* stoppedOn = nullptr;
  bool stillAfterStop = false;
  dialog.onInit = [](ScriptDlg& d) {
    EXPECT_FALSE(d.Peer()->AnimationOpen(kClip, 999));
    EXPECT_FALSE(d.Peer()->AnimationPlay(kClip, 0, -1, -1));
    EXPECT_TRUE(d.Peer()->AnimationOpen(kClip, kClipResource));
    EXPECT_TRUE(d.Peer()->AnimationPlay(kClip, 0, -1, -1));
  };
  GtkImage* image = nullptr;
  dialog.onTick = [&](ScriptDlg& d, int tick) {
    if (!image) {
      for (GtkWidget* widget : ControlWidgets(d.Gtk().Window()))
        if (GTK_IS_IMAGE(widget)) image = GTK_IMAGE(widget);
    }
    if (!image) {
      ADD_FAILURE() << "no image on the client area";
      d.EndDialog(IDOK);
      return;
    }
    if (tick < 12) {
      seen.insert(gtk_image_get_pixbuf(image));
    } else if (tick == 12) {
      d.Peer()->AnimationStop(kClip);
      stoppedOn = gtk_image_get_pixbuf(image);
    } else if (tick == 16) {
      stillAfterStop = gtk_image_get_pixbuf(image) == stoppedOn;
      d.EndDialog(IDOK);
    }
  };
  dialog.DoModal();
  EXPECT_EQ(seen.size(), 3u);  // all three frames came round
  EXPECT_TRUE(stillAfterStop);
}

TEST(GtkDialogWindow, WaitCursorShowsOnOpenWindows) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  GdkCursorType busy = GDK_X_CURSOR;
  bool clearedAfter = false;
  dialog.onTick = [&](ScriptDlg& d, int) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(d.Gtk().Window()));
    BeginWaitCursor();
    if (GdkCursor* cursor = gdk_window_get_cursor(surface))
      busy = gdk_cursor_get_cursor_type(cursor);
    EndWaitCursor();
    clearedAfter = gdk_window_get_cursor(surface) == nullptr;
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(busy, GDK_WATCH);
  EXPECT_TRUE(clearedAfter);
}

TEST(GtkDialogWindow, LaysOutInDialogUnitsOfTheFont) {
  REQUIRE_DISPLAY();
  ScriptDlg dialog;
  dialog.onTick = [](ScriptDlg& d, int) {
    const PixelSize client = d.Peer()->ClientSize();
    // 180 x 80 units at about 6 x 13 pixels per 4 x 8 units.
    EXPECT_GT(client.cx, 180 * 5 / 4);
    EXPECT_LT(client.cx, 180 * 9 / 4);
    EXPECT_GT(client.cy, 80 * 10 / 8);
    EXPECT_LT(client.cy, 80 * 20 / 8);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
}

}  // namespace
