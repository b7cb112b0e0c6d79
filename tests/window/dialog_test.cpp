// The window layer on the headless backend: message-map dispatch, data
// exchange, list search, timers under nested modal runs, message boxes from
// worker threads, the wait cursor.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "window/headless/headless_harness.h"
#include "window/test_dialogs.h"
#include "window/ui_thread.h"

using namespace window_test;
using headless::HeadlessHarness;

BEGIN_MESSAGE_MAP(CInnerDlg, CDialog)
ON_BN_CLICKED(kHiddenButton, OnHidden)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(COuterDlg, CDialog)
ON_CBN_SELCHANGE(kList, OnSelchange)
ON_BN_CLICKED(kOpenInner, OnOpenInner)
ON_WM_TIMER()
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

namespace {

class DialogTest : public ::testing::Test {
 protected:
  // Opens the outer dialog on the UI thread; its result lands in result_.
  void OpenOuter() {
    ui_.Start([this] { result_ = dialog_.DoModal(); });
    ASSERT_TRUE(ui_.Driver().WaitForDialog(kOuterTemplate));
    ASSERT_TRUE(ui_.Driver().WaitForIdle());
  }
  template <typename T>
  T OnUi(const std::function<T()>& read) {
    T value{};
    RunOnUiThread([&] { value = read(); });
    return value;
  }

  // The harness goes first at tear-down: it ends the modal run that still
  // uses the dialog.
  COuterDlg dialog_;
  std::atomic<int> result_{0};
  HeadlessHarness ui_;
};

TEST_F(DialogTest, TextsGoToControlsOnOpeningAndBackOnOk) {
  OpenOuter();
  auto& b = ui_.Driver();
  EXPECT_EQ(b.Control(kOuterTemplate, kNameText).text, "Initial");
  RunOnUiThread([&] { dialog_.Peer()->SetText(kNameText, "Typed"); });
  b.Click(kOuterTemplate, IDOK);
  ASSERT_TRUE(ui_.Join());
  EXPECT_EQ(result_, IDOK);
  EXPECT_EQ(dialog_.name, "Typed");
  EXPECT_FALSE(dialog_.IsOpen());
  EXPECT_EQ(b.LastResult(kOuterTemplate), IDOK);
}

TEST_F(DialogTest, CancelWithoutHandlerEndsWithCancelAndKeepsTexts) {
  OpenOuter();
  RunOnUiThread([&] { dialog_.Peer()->SetText(kNameText, "Typed"); });
  ui_.Driver().Close(kOuterTemplate);
  ASSERT_TRUE(ui_.Join());
  EXPECT_EQ(result_, IDCANCEL);
  EXPECT_EQ(dialog_.name, "Initial");
}

TEST_F(DialogTest, ListNotificationReachesHandlerWithTheUsersSelection) {
  OpenOuter();
  auto& b = ui_.Driver();
  b.SelectListItem(kOuterTemplate, kList, 2);
  b.SelectListItem(kOuterTemplate, kList, 7);  // no such entry: nothing happens
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(OnUi<std::vector<int>>([&] { return dialog_.selections; }), std::vector<int>{2});
  const auto list = b.Control(kOuterTemplate, kList);
  ASSERT_EQ(list.items.size(), 3u);
  EXPECT_EQ(list.items[1].text, "com1");
  EXPECT_EQ(list.curSel, 2);
}

TEST_F(DialogTest, SelectStringMatchesPrefixIgnoringCaseAndWrapsAround) {
  OpenOuter();
  // Items: "COM10", "com1", "COM3".
  EXPECT_EQ(OnUi<int>([&] { return dialog_.list.SelectString(-1, "com1"); }), 0);
  EXPECT_EQ(OnUi<int>([&] { return dialog_.list.SelectString(0, "COM1"); }), 1);
  EXPECT_EQ(OnUi<int>([&] { return dialog_.list.SelectString(1, "COM1"); }), 0);
  EXPECT_EQ(OnUi<int>([&] { return dialog_.list.SelectString(-1, "COM4"); }), CB_ERR);
  EXPECT_EQ(ui_.Driver().Control(kOuterTemplate, kList).curSel, 0);  // unchanged
  EXPECT_EQ(OnUi<int>([&] { return dialog_.list.SetCurSel(5); }), CB_ERR);
  EXPECT_EQ(ui_.Driver().Control(kOuterTemplate, kList).curSel, -1);
}

TEST_F(DialogTest, TimerTicksArriveWhileNestedDialogIsOpen) {
  OpenOuter();
  auto& b = ui_.Driver();
  b.Click(kOuterTemplate, kOpenInner);
  ASSERT_TRUE(b.WaitForDialog(kInnerTemplate));
  EXPECT_EQ(b.OpenDialogs(), (std::vector<int>{kOuterTemplate, kInnerTemplate}));

  b.FireTimer(kOuterTemplate, 7);
  b.FireTimer(kOuterTemplate, 8);          // never set: no tick
  b.Click(kInnerTemplate, kHiddenButton);  // hidden: cannot be pressed
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(OnUi<std::vector<unsigned>>([&] { return dialog_.ticks; }), std::vector<unsigned>{7});

  b.Click(kInnerTemplate, IDOK);
  ASSERT_TRUE(b.WaitForDialogClosed(kInnerTemplate));
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(OnUi<int>([&] { return dialog_.innerResult; }), IDOK);

  RunOnUiThread([&] { EXPECT_TRUE(dialog_.KillTimer(7)); });
  b.FireTimer(kOuterTemplate, 7);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(OnUi<std::size_t>([&] { return dialog_.ticks.size(); }), 1u);
  EXPECT_TRUE(b.Timers(kOuterTemplate).empty());
}

TEST_F(DialogTest, RealTimeTimersTickOnTheClock) {
  ui_.Driver().EnableRealTimeTimers(true);
  ui_.Start([this] {
    dialog_.ticks.clear();
    result_ = dialog_.DoModal();
  });
  ASSERT_TRUE(ui_.Driver().WaitForDialog(kOuterTemplate));
  RunOnUiThread([&] { dialog_.SetTimer(7, 1); });
  for (int i = 0; i < 500 && OnUi<std::size_t>([&] { return dialog_.ticks.size(); }) < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_GE(OnUi<std::size_t>([&] { return dialog_.ticks.size(); }), 3u);
}

TEST_F(DialogTest, SystemCloseGoesThroughDefaultProcessing) {
  OpenOuter();
  auto& b = ui_.Driver();
  b.SysCommand(kOuterTemplate, 0x20);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_TRUE(b.IsDialogOpen(kOuterTemplate));
  b.SysCommand(kOuterTemplate, SC_CLOSE);
  ASSERT_TRUE(ui_.Join());
  EXPECT_EQ(result_, IDCANCEL);
  EXPECT_EQ(dialog_.sysCommands, (std::vector<unsigned>{0x20, SC_CLOSE}));
}

TEST_F(DialogTest, DisabledCancelRefusesEscapeAndTheCloseBox) {
  OpenOuter();
  auto& b = ui_.Driver();
  RunOnUiThread([&] {
    dialog_.Peer()->Enable(IDCANCEL, false);
    dialog_.DispatchCommand(IDCANCEL, BN_CLICKED);  // Escape, as the system sends it
  });
  b.Close(kOuterTemplate);
  b.SysCommand(kOuterTemplate, SC_CLOSE);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_TRUE(b.IsDialogOpen(kOuterTemplate));
  RunOnUiThread([&] { dialog_.Peer()->Enable(IDCANCEL, true); });
  b.Close(kOuterTemplate);
  ASSERT_TRUE(ui_.Join());
  EXPECT_EQ(result_, IDCANCEL);
}

TEST_F(DialogTest, WorkersMessageBoxWaitsUntilAnswered) {
  OpenOuter();
  auto& b = ui_.Driver();
  std::atomic<int> answer{0};
  std::thread worker([&] { answer = AfxMessageBox("Done!\n", MB_YESNO | MB_ICONQUESTION); });
  const auto box = b.WaitForMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, "Done!\n");
  EXPECT_EQ(box->type, MB_YESNO | MB_ICONQUESTION);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(answer, 0);

  b.FireTimer(kOuterTemplate, 7);  // the window still gets its ticks
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(OnUi<std::size_t>([&] { return dialog_.ticks.size(); }), 1u);

  b.AnswerMessageBox(IDNO);
  worker.join();
  EXPECT_EQ(answer, IDNO);
  ASSERT_EQ(b.MessageBoxes().size(), 1u);
  EXPECT_EQ(b.MessageBoxes()[0].result, IDNO);
  EXPECT_FALSE(b.WaitForMessageBox(std::chrono::milliseconds(0)).has_value());
}

TEST_F(DialogTest, WaitCursorNestsAndRestores) {
  OpenOuter();
  auto& b = ui_.Driver();
  BeginWaitCursor();
  BeginWaitCursor();
  EndWaitCursor();
  EXPECT_TRUE(b.WaitCursorShown());
  ui_.Backend().SetWaitCursor(false);  // a box took it away
  RestoreWaitCursor();
  EXPECT_TRUE(b.WaitCursorShown());
  EndWaitCursor();
  EXPECT_FALSE(b.WaitCursorShown());
  RestoreWaitCursor();
  EXPECT_FALSE(b.WaitCursorShown());
}

TEST(HarnessTest, TearDownEndsLoopsStillRunning) {
  std::atomic<int> result{0};
  std::atomic<int> boxResult{0};
  {
    COuterDlg dialog;  // outlives the harness, which ends its modal run
    HeadlessHarness ui;
    ui.Start([&] {
      result = dialog.DoModal();
      boxResult = AfxMessageBox("after");
    });
    ASSERT_TRUE(ui.Driver().WaitForDialog(kOuterTemplate));
  }
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(boxResult, IDCANCEL);
  EXPECT_FALSE(HasBackend());
}

TEST(HarnessTest, WorkersMessageBoxAfterTheUiFunctionReturnedStillEnds) {
  HeadlessHarness ui;
  ui.Start([] {});
  ASSERT_TRUE(ui.Join());
  std::atomic<int> answer{0};
  std::thread worker([&] { answer = AfxMessageBox("late"); });
  const auto box = ui.Driver().WaitForMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, "late");
  ui.Backend().AbortAll();
  worker.join();
  EXPECT_EQ(answer, IDCANCEL);
}

TEST(HarnessTest, ControlsAreInertWithoutAWindow) {
  COuterDlg dialog;
  EXPECT_EQ(dialog.DoModal(), -1);  // no backend installed
  CComboBox list;
  EXPECT_EQ(list.AddString("x"), CB_ERR);
  EXPECT_FALSE(list.IsWindowVisible());
  EXPECT_EQ(AfxMessageBox("lost"), 0);
}

}  // namespace
