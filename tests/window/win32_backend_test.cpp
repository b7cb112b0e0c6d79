// The Win32 backend on real windows (under wine in the cross build): dialogs
// from the program's templates, control operations, timers, posts from
// worker threads, keyboard and system commands, message boxes.
#include "window/win32/win32_backend.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ui/dialog_templates.h"
#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "window/win32/win32_api.h"
#include "window/win32/win32_window.h"
#include "window/win32_test_dialog.h"
#include "window/win32_test_support.h"

namespace win32_test {

BEGIN_MESSAGE_MAP(CScriptedDlg, CDialog)
ON_WM_TIMER()
ON_WM_SYSCOMMAND()
ON_BN_CLICKED(IDC_START_UPDATE, OnStartUpdate)
ON_CBN_DROPDOWN(IDC_PORT_LIST, OnDropdownPort)
ON_WM_DEVICECHANGE()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

namespace {

class Win32BackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallProgramResources();
    InstallBackend(CreateWin32Backend());
  }
};

const DialogTemplate& MainTemplate() { return DialogTemplateById(IDD_UPGRADE_DIALOG); }

HWND HandleOf(const CDialog& dialog) {
  auto* window = dynamic_cast<Win32Window*>(dialog.Peer());
  return window != nullptr ? window->Handle() : nullptr;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

// Every program template becomes a window with all its controls.
TEST_F(Win32BackendTest, EveryProgramTemplateOpensWithAllControls) {
  for (const DialogTemplate* t : AllDialogTemplates()) {
    SCOPED_TRACE(t->id);
    int children = -1;
    CScriptedDlg dialog(*t, [&](CScriptedDlg& d) {
      children = 0;
      for (HWND c = GetWindow(HandleOf(d), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
      char caption[128] = {};
      GetWindowTextA(HandleOf(d), caption, sizeof caption);
      EXPECT_STREQ(caption, t->caption);
      d.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(children, static_cast<int>(t->controls.size()));
    EXPECT_FALSE(dialog.IsOpen());
  }
}

TEST_F(Win32BackendTest, ControlsOfTheMainWindowAreTheNativeOnes) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    HWND hwnd = HandleOf(d);
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_START_UPDATE)), "Button");
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_PORT_LIST)), "ComboBox");
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_PROGRESS)), PROGRESS_CLASSA);
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_ANIMATION)), ANIMATE_CLASSA);
    EXPECT_NE(GetWindowLongA(GetDlgItem(hwnd, IDC_START_UPDATE), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    // Positions and sizes are the template's dialog units in this font,
    // each converted on its own as the dialog manager does.
    RECT expected{7, 7, 191, 148};  // x, y, cx, cy
    MapDialogRect(hwnd, &expected);
    RECT actual{};
    GetWindowRect(GetDlgItem(hwnd, IDC_INFO), &actual);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
    // Icons come from the program's resources.
    EXPECT_NE(SendDlgItemMessageA(hwnd, IDC_WARNING_ICON, STM_GETICON, 0, 0), 0);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(Win32BackendTest, TextsStatesAndListsThroughThePeer) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    WindowPeer& p = *d.Peer();
    EXPECT_EQ(p.GetText(IDC_START_UPDATE), "Start Update");
    EXPECT_EQ(p.GetText(IDCANCEL), "Exit");
    EXPECT_EQ(p.GetText(IDC_PERCENT), "100 %");
    p.SetText(IDC_INFO, "First line.\nSecond line.\n");
    EXPECT_EQ(p.GetText(IDC_INFO), "First line.\nSecond line.\n");
    EXPECT_EQ(p.GetText(4711), "");

    EXPECT_TRUE(p.IsEnabled(IDC_START_UPDATE));
    HWND start = GetDlgItem(HandleOf(d), IDC_START_UPDATE);
    SetFocus(start);
    p.Enable(IDC_START_UPDATE, false);
    EXPECT_FALSE(p.IsEnabled(IDC_START_UPDATE));
    // The keyboard focus moved on instead of being lost.
    EXPECT_NE(GetFocus(), start);
    EXPECT_NE(GetFocus(), nullptr);
    EXPECT_TRUE(p.IsVisible(IDC_INFO));
    EXPECT_FALSE(p.IsVisible(IDC_PROGRESS));
    p.Show(IDC_PROGRESS, true);
    p.Show(IDC_INFO, false);
    EXPECT_TRUE(p.IsVisible(IDC_PROGRESS));
    EXPECT_FALSE(p.IsVisible(IDC_INFO));

    EXPECT_EQ(p.ListAdd(IDC_PORT_LIST, "COM3"), 0);
    EXPECT_EQ(p.ListAdd(IDC_PORT_LIST, "COM10"), 1);  // not sorted
    EXPECT_EQ(p.ListAdd(IDC_PORT_LIST, "COM1"), 2);
    EXPECT_TRUE(p.ListSetData(IDC_PORT_LIST, 1, 10));
    EXPECT_EQ(p.ListGetData(IDC_PORT_LIST, 1), 10u);
    EXPECT_EQ(p.ListCount(IDC_PORT_LIST), 3);
    EXPECT_EQ(p.ListText(IDC_PORT_LIST, 2), "COM1");
    EXPECT_EQ(p.ListText(IDC_PORT_LIST, 3), "");
    EXPECT_EQ(p.ListGetCurSel(IDC_PORT_LIST), CB_ERR);
    EXPECT_EQ(p.ListSetCurSel(IDC_PORT_LIST, 1), 1);
    EXPECT_EQ(p.ListGetCurSel(IDC_PORT_LIST), 1);
    EXPECT_EQ(p.ListSetCurSel(IDC_PORT_LIST, 5), CB_ERR);
    EXPECT_EQ(p.ListSetCurSel(IDC_PORT_LIST, -1), CB_ERR);
    EXPECT_EQ(p.ListGetCurSel(IDC_PORT_LIST), CB_ERR);
    p.ListReset(IDC_PORT_LIST);
    EXPECT_EQ(p.ListCount(IDC_PORT_LIST), 0);
    EXPECT_EQ(p.ListCount(4711), CB_ERR);

    CProgressCtrl bar;
    bar.Attach(&d, IDC_PROGRESS);
    bar.SetPos(42);
    EXPECT_EQ(p.GetProgressPos(IDC_PROGRESS), 42);
    bar.SetPos(250);
    EXPECT_EQ(p.GetProgressPos(IDC_PROGRESS), 100);

    EXPECT_TRUE(p.AnimationOpen(IDC_ANIMATION, IDR_TRANSFER_AVI));
    EXPECT_TRUE(p.AnimationPlay(IDC_ANIMATION, 0, -1, -1));
    EXPECT_TRUE(p.AnimationStop(IDC_ANIMATION));
    EXPECT_FALSE(p.AnimationOpen(IDC_ANIMATION, 4711));

    p.SetIcon(IDR_MAINFRAME, true);
    p.SetIcon(IDR_MAINFRAME, false);
    EXPECT_NE(SendMessageA(HandleOf(d), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(HandleOf(d), WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_FALSE(p.IsIconic());

    EXPECT_TRUE(p.AppendSystemMenuItem(16, "&About..."));
    HMENU menu = GetSystemMenu(HandleOf(d), FALSE);
    char item[32] = {};
    GetMenuStringA(menu, GetMenuItemCount(menu) - 1, item, sizeof item, MF_BYPOSITION);
    EXPECT_STREQ(item, "&About...");
    d.EndDialog(1234);
  });
  EXPECT_EQ(dialog.DoModal(), 1234);
}

TEST_F(Win32BackendTest, TimerTicksArriveUntilKilled) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) { d.SetTimer(7, 10); });
  dialog.onTick = [&](unsigned timerId) {
    if (timerId == 7 && dialog.ticks.size() == 3) {
      EXPECT_TRUE(dialog.KillTimer(7));
      // A killed timer stays quiet: end a little later, then count.
      dialog.SetTimer(8, 150);
    }
    if (timerId == 8) dialog.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(dialog.ticks.size(), 4u);
  EXPECT_EQ(dialog.ticks, (std::vector<unsigned>{7, 7, 7, 8}));
}

// Posts from another thread run on the user-interface thread, in order; the
// last one ends the dialog.
TEST_F(Win32BackendTest, PostsFromAWorkerRunInOrderOnTheUiThread) {
  std::vector<int> order;
  bool allOnUiThread = true;
  bool workerIsUiThread = true;
  std::thread worker;
  CScriptedDlg dialog(MainTemplate(), [&](CScriptedDlg& d) {
    worker = std::thread([&] {
      workerIsUiThread = CurrentBackend().IsUiThread();
      for (int i = 0; i < 200; ++i)
        PostToUiThread([&, i] {
          allOnUiThread = allOnUiThread && CurrentBackend().IsUiThread();
          order.push_back(i);
        });
      PostToUiThread([&] { d.EndDialog(IDOK); });
    });
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  worker.join();
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(allOnUiThread);
  EXPECT_FALSE(workerIsUiThread);
}

// A worker's message box is shown by the user-interface thread, owned by the
// dialog, and its answer returns to the worker; the dialog's timer keeps
// ticking meanwhile (it is what answers the box here).
TEST_F(Win32BackendTest, WorkerMessageBoxIsAnsweredWhileTimersTick) {
  int answer = 0;
  std::string boxText;
  std::thread worker;
  CScriptedDlg dialog(MainTemplate(), [&](CScriptedDlg& d) {
    d.SetTimer(5, 50);
    worker = std::thread([&] {
      answer = AfxMessageBox("Replace the firmware?\nSecond line", MB_YESNO | MB_ICONQUESTION);
      PostToUiThread([&] { d.EndDialog(IDOK); });
    });
  });
  dialog.onTick = [&](unsigned) {
    HWND box = FindOwnedMessageBox(HandleOf(dialog));
    if (box == nullptr) return;
    boxText = DialogItemText(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, IDYES, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  worker.join();
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(boxText, "Replace the firmware?\nSecond line");
}

// Enter presses the default button; system commands of the program reach
// its handler, the window's own go to the system; the close command cancels.
TEST_F(Win32BackendTest, KeysAndSystemCommands) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    HWND hwnd = HandleOf(d);
    PostMessageA(hwnd, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(hwnd, WM_SYSCOMMAND, 17, 0);
    PostToUiThread([hwnd] { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.startClicks.size(), 1u);
  EXPECT_EQ(dialog.sysCommands, (std::vector<unsigned>{17, SC_CLOSE}));
}

// Opening the port list and the system's device notices reach the dialog;
// a removal query is the system's to answer.
TEST_F(Win32BackendTest, PortListOpeningAndDeviceNoticesReachTheDialog) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    HWND hwnd = HandleOf(d);
    HWND list = GetDlgItem(hwnd, IDC_PORT_LIST);
    SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(list, CB_SHOWDROPDOWN, FALSE, 0);
    SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, 0);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.dropdowns, 1);
  EXPECT_EQ(dialog.deviceChanges, 1);
}

// Escape cancels, but neither it nor the close command does while Cancel is
// disabled.
TEST_F(Win32BackendTest, EscapeCancelsUnlessCancelIsDisabled) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    HWND hwnd = HandleOf(d);
    d.Peer()->Enable(IDCANCEL, false);
    PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostToUiThread([hwnd, &d] {
      EXPECT_TRUE(d.IsOpen());
      d.Peer()->Enable(IDCANCEL, true);
      PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    });
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(dialog.startClicks.empty());
  EXPECT_EQ(dialog.sysCommands, std::vector<unsigned>{SC_CLOSE});
}

// The drag icon is the handle of the icon resource the dialog names; paints
// reach the dialog's handler. (Wine, like current Windows, sends a minimised
// window no paint, so the minimised drawing itself is not seen here.)
TEST_F(Win32BackendTest, PaintsAndDragIconReachTheDialog) {
  HICON dragIcon = nullptr;
  bool iconicSeen = false;
  CScriptedDlg dialog(MainTemplate(), [&](CScriptedDlg& d) {
    HWND hwnd = HandleOf(d);
    d.dragIconId = IDR_MAINFRAME;
    dragIcon = reinterpret_cast<HICON>(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0));
    ShowWindow(hwnd, SW_MINIMIZE);
    iconicSeen = d.IsIconic();
    ShowWindow(hwnd, SW_RESTORE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_NE(dragIcon, nullptr);
  EXPECT_TRUE(iconicSeen);
  ASSERT_FALSE(dialog.paintedIconic.empty());
  EXPECT_FALSE(dialog.paintedIconic.back());
}

TEST_F(Win32BackendTest, WaitCursorShowsAndGoes) {
  CScriptedDlg dialog(MainTemplate(), [](CScriptedDlg& d) {
    CurrentBackend().SetWaitCursor(true);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    CurrentBackend().SetWaitCursor(false);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
}  // namespace win32_test
