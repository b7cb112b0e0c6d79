// A download from Start Update to the idle layout, its result texts, the
// progress line, and the window's protection while it writes.
#include <gtest/gtest.h>

#include "platform/named_event.h"
#include "ui/run_fixture.h"

namespace {

using DownloadRunTest = RunFixture;

// The road of a typical request: HLX700 in its boot loader on COM3.
TEST_F(DownloadRunTest, TypicalRequestWritesTheFirmwareAndEndsIdle) {
  ScriptHlx700();
  env.library->Hold(JobCall::kDownload);
  env.library->progress.store(42);
  env.library->SetJobName("Writing block 7");
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(WaitForConfirmation());
  EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text,
            "Application:\t\tVersion 4.0.2\nConfiguration file:\t4.0.2");
  EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_NEW_VERSION).text, "Application:\t\tVersion 1.2.3");
  ASSERT_TRUE(Proceed());

  // The handler has returned while the job writes.
  EXPECT_TRUE(InTransferLayout());
  EXPECT_FALSE(Ui().WaitCursorShown());
  ASSERT_TRUE(WaitUntil([&] { return env.library->DownloadedPaths().size() == 1; }));
  EXPECT_EQ(env.library->DownloadedPaths()[0],
            env.Catalogue().GetFirmwarePath(DeviceFamily::HLX700));
  EXPECT_EQ(env.library->lastPort.load(), 3);
  EXPECT_EQ(env.library->lastCode.load(), 0);

  FireProgressTick();
  EXPECT_EQ(Control(IDC_PERCENT).text, "42 %");
  EXPECT_EQ(Control(IDC_JOBNAME).text, "Writing block 7");
  EXPECT_EQ(Control(IDC_PROGRESS).progressPos, 42);
  EXPECT_TRUE(InTransferLayout());

  env.library->progress.store(100);
  env.library->Release(JobCall::kDownload);
  std::optional<headless::MessageBoxRecord> box = Ui().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "The firmware has been updated successfully!\n");
  // While the result is on screen the window keeps polling in the transfer
  // layout, and the job has not ended.
  FireProgressTick();
  EXPECT_TRUE(InTransferLayout());
  EXPECT_EQ(Control(IDC_PERCENT).text, "100 %");
  EXPECT_FALSE(RunStateClear());
  EXPECT_FALSE(env.LastWorker()->DownloadDone());

  Ui().AnswerMessageBox(IDOK);
  ASSERT_TRUE(WaitUntil([&] { return env.LastWorker()->DownloadDone(); }));
  EXPECT_TRUE(RunStateClear());
  FireProgressTick();
  EXPECT_TRUE(InIdleLayout());
  // The restoring tick found no family selected any more.
  EXPECT_EQ(Control(IDC_PERCENT).text, "0 %");
  EXPECT_EQ(Control(IDC_PROGRESS).progressPos, 0);
  // The worker object is gone with its thread.
  EXPECT_EQ(env.LastWorker(), nullptr);
  EXPECT_TRUE(env.Sleeps().empty());

  // A tick that was already queued neither restores nor destroys anything.
  ui.Backend().Post([this] { window.load()->OnTimer(kProgressTimer); });
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(InIdleLayout());
}

TEST_F(DownloadRunTest, FailedDownloadReportsItAndStillEndsIdle) {
  ScriptHlx700();
  env.library->downloadAnswer.store(0);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Proceed());
  EXPECT_EQ(DismissMessageBox(), "We were unable to repair or update the firmware!\n");
  ASSERT_TRUE(WaitUntil([&] { return RunStateClear(); }));
  ASSERT_TRUE(WaitUntil([&] {
    FireProgressTick();
    return InIdleLayout();
  }));
}

TEST_F(DownloadRunTest, ProgressOutsideTheRangeIsShownAsReported) {
  ScriptHlx700();
  env.library->Hold(JobCall::kDownload);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Proceed());
  env.library->progress.store(0);
  FireProgressTick();
  EXPECT_EQ(Control(IDC_PERCENT).text, "0 %");
  env.library->progress.store(-7);
  FireProgressTick();
  EXPECT_EQ(Control(IDC_PERCENT).text, "-7 %");
  EXPECT_EQ(Control(IDC_PROGRESS).progressPos, 0);
  env.library->progress.store(130);
  FireProgressTick();
  EXPECT_EQ(Control(IDC_PERCENT).text, "130 %");
  EXPECT_EQ(Control(IDC_PROGRESS).progressPos, 100);
  for (DeviceFamily polled : env.library->PolledFamilies()) EXPECT_EQ(polled, DeviceFamily::HLX700);
}

// Closing the program in the middle of a write would leave the remote
// without a working firmware.
TEST_F(DownloadRunTest, WindowCannotBeClosedWhileDownloadingButCanWhenIdle) {
  ScriptHlx700();
  env.library->Hold(JobCall::kDownload);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Proceed());
  Ui().Close(IDD_UPGRADE_DIALOG);
  Ui().Click(IDD_UPGRADE_DIALOG, IDCANCEL);
  Ui().Click(IDD_UPGRADE_DIALOG, IDOK);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(Ui().IsDialogOpen(IDD_UPGRADE_DIALOG));
  EXPECT_TRUE(InTransferLayout());

  env.library->Release(JobCall::kDownload);
  DismissMessageBox();
  ASSERT_TRUE(WaitUntil([&] {
    FireProgressTick();
    return InIdleLayout();
  }));
  Ui().Close(IDD_UPGRADE_DIALOG);
  EXPECT_TRUE(ui.Join());
}

// What could not be made is named; the run ends cleanly either way.
TEST_F(DownloadRunTest, WorkerOrEventThatCannotBeCreatedEndsTheRunCleanly) {
  const struct {
    int workers;
    int events;  // the family's event, then the private one
    const char* message;
  } cases[] = {
      {1, 0, "We could not start the update: the system could not create a worker thread."},
      {0, 2,
       "We could not start the update: the system could not create the event that marks the "
       "end of the download."},
  };
  ScriptHlx700();
  OpenWindow();
  for (const auto& c : cases) {
    env.workersToRefuse.store(c.workers);
    env.eventsToRefuse.store(c.events);
    PressStartUpdate();
    ASSERT_TRUE(Proceed());
    EXPECT_EQ(DismissMessageBox(), c.message);
    ASSERT_TRUE(Ui().WaitForIdle());
    EXPECT_TRUE(InIdleLayout());  // also: the progress timer is stopped
    EXPECT_TRUE(RunStateClear());
    EXPECT_TRUE(env.library->DownloadedPaths().empty());
    EXPECT_FALSE(Ui().WaitCursorShown());
    EXPECT_EQ(env.eventsToRefuse.load(), 0);
  }
}

// The application query did not answer, so no family is selected and the
// run has no event of its own: it reports failure without writing, ends
// idle, and leaves the event of the boot-matched family alone.
TEST_F(DownloadRunTest, RunWithoutSelectedFamilyFailsWithoutTouchingAnotherRunsEvent) {
  env.library->Answer(DeviceFamily::MV5100, Query::kBoot, 1, "OEM 45323");
  env.library->Answer(DeviceFamily::MV5100, Query::kProduct, 1, "MV5100");
  env.AddFirmwareFiles({"MV5100V_5_0_1.bin"});
  auto otherRun = platform::NamedEvent::Open("Vantrel NVB MV5100 Reflint").value();
  ASSERT_NE(otherRun, nullptr);
  otherRun->Reset();
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(WaitForConfirmation());
  EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text,
            "Application:\t\tVersion Not acquired.\nConfiguration file:\tNot acquired.");
  EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_NEW_VERSION).text, "");
  ASSERT_TRUE(Proceed());
  EXPECT_EQ(DismissMessageBox(), "We were unable to repair or update the firmware!\n");
  ASSERT_TRUE(WaitUntil([&] {
    FireProgressTick();
    return InIdleLayout();
  }));
  EXPECT_TRUE(env.library->DownloadedPaths().empty());
  EXPECT_TRUE(env.library->PolledFamilies().empty());
  EXPECT_EQ(otherRun->Wait(0), platform::WaitResult::TimedOut);
}

// An earlier download left the family's event signalled; the new run resets
// it, so its first tick does not take it for its own end.
TEST_F(DownloadRunTest, EventLeftSignalledByAnEarlierRunDoesNotEndTheNextOne) {
  ScriptHlx700();
  auto earlier = platform::NamedEvent::Open("Vantrel NVB HLX700 Reflint").value();
  ASSERT_NE(earlier, nullptr);
  earlier->Set();
  env.library->Hold(JobCall::kDownload);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Proceed());
  FireProgressTick();
  EXPECT_TRUE(InTransferLayout());
  // Even a signal from elsewhere does not end this run before its job does.
  earlier->Set();
  FireProgressTick();
  EXPECT_TRUE(InTransferLayout());
  env.library->Release(JobCall::kDownload);
  DismissMessageBox();
  ASSERT_TRUE(WaitUntil([&] {
    FireProgressTick();
    return InIdleLayout();
  }));
}

TEST_F(DownloadRunTest, BlinkTimerAlternatesTheWarningIcon) {
  OpenWindow();
  ASSERT_TRUE(Control(IDC_WARNING_ICON).visible);
  Ui().FireTimer(IDD_UPGRADE_DIALOG, kBlinkTimer);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_FALSE(Control(IDC_WARNING_ICON).visible);
  Ui().FireTimer(IDD_UPGRADE_DIALOG, kBlinkTimer);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(Control(IDC_WARNING_ICON).visible);
}

}  // namespace
