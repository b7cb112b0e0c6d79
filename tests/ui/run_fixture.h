#pragma once
// The main window on the headless backend with a TestEnvironment, and the
// steps and checks the update run tests share.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ui/resource_ids.h"
#include "ui/test_environment.h"
#include "ui/upgrade_dlg.h"
#include "window/headless/headless_harness.h"

class RunFixture : public testing::Test {
 protected:
  RunFixture() { env.AddFirmwareFiles({"HLX700V_1_2_3.bin"}).SetOpenPorts({3}).SetSavedPort(3); }

  ~RunFixture() override {
    env.library->Release(JobCall::kDownload);
    env.library->Release(JobCall::kCatchBoot);
    // A download under way is let finish first: the window does not close
    // in the middle of one, and its worker is awaited when it goes.
    Ui().SetAutoAnswer(IDOK);
    if (Ui().WaitForMessageBox(std::chrono::milliseconds(0))) Ui().AnswerMessageBox(IDOK);
    WaitUntil([&] {
      if (!Ui().IsDialogOpen(IDD_UPGRADE_DIALOG) || !Control(IDC_PROGRESS).visible) return true;
      Ui().FireTimer(IDD_UPGRADE_DIALOG, kProgressTimer);
      Ui().WaitForIdle();
      return false;
    });
    ui.Backend().AbortAll();
    ui.Join();
    // Every job has let go of the library: no thread outlives the test.
    WaitUntil([&] { return env.library.use_count() == 1; });
  }

  headless::HeadlessDriver& Ui() { return ui.Driver(); }

  void OpenWindow() {
    ui.Start([this] {
      CUpgradeDlg dialog(env);
      window.store(&dialog);
      dialog.DoModal();
      window.store(nullptr);
    });
    ASSERT_TRUE(Ui().WaitForDialog(IDD_UPGRADE_DIALOG));
    ASSERT_TRUE(Ui().WaitForIdle());
  }

  void PressStartUpdate() { Ui().Click(IDD_UPGRADE_DIALOG, IDC_START_UPDATE); }

  // Answers the box now shown and waits until it has closed; its text.
  std::string AnswerBox(int answer) {
    std::optional<headless::MessageBoxRecord> box = Ui().WaitForMessageBox();
    if (!box) return "<no message box>";
    std::size_t index = Ui().MessageBoxes().size() - 1;
    Ui().AnswerMessageBox(answer);
    WaitUntil([&] { return Ui().MessageBoxes()[index].result != 0; });
    return box->text;
  }
  std::string DismissMessageBox() { return AnswerBox(IDOK); }

  // The confirmation, open and filled.
  bool WaitForConfirmation() { return Ui().WaitForDialog(IDD_CONFIRM) && Ui().WaitForIdle(); }

  // A HLX700 in its boot loader that answers every identification query.
  void ScriptHlx700(bool applicationAnswers = true) {
    env.library->Answer(DeviceFamily::HLX700, Query::kBoot, 1, "Boot OEM 35243 v1");
    env.library->Answer(DeviceFamily::HLX700, Query::kProduct, 1, "Vantrel HLX700 remote");
    env.library->Answer(DeviceFamily::HLX700, Query::kApplication, applicationAnswers ? 1 : 0,
                        "App: 4.0.2");
  }

  // Proceed on the confirmation; false when it did not appear.
  bool Proceed() {
    if (!WaitForConfirmation()) return false;
    Ui().Click(IDD_CONFIRM, IDOK);
    return Ui().WaitForDialogClosed(IDD_CONFIRM) && Ui().WaitForIdle();
  }

  void FireProgressTick() {
    Ui().FireTimer(IDD_UPGRADE_DIALOG, kProgressTimer);
    ASSERT_TRUE(Ui().WaitForIdle());
  }

  headless::ControlState Control(int id) { return Ui().Control(IDD_UPGRADE_DIALOG, id); }

  bool RunStateClear() {
    CUpgradeDlg* dialog = window.load();
    if (!dialog) return false;
    UpdateRunState& state = dialog->RunState();
    if (state.GetDeviceCode() != kNoDeviceCode) return false;
    for (DeviceFamily family : kExaminationOrder)
      if (state.IsBootMatched(family) || state.IsSelected(family)) return false;
    return true;
  }

  bool InTransferLayout() {
    return !Control(IDC_START_UPDATE).enabled && !Control(IDCANCEL).enabled &&
           !Control(IDC_PORT_LIST).enabled && !Control(IDC_INFO).visible &&
           !Control(IDC_WARNING_TEXT).visible && !Control(IDC_WARNING_ICON).visible &&
           Control(IDC_PROGRESS).visible && Control(IDC_PERCENT).visible &&
           Control(IDC_JOBNAME).visible && Control(IDC_ANIMATION).visible &&
           Control(IDC_ANIMATION).animationPlaying &&
           Ui().Timers(IDD_UPGRADE_DIALOG) == std::vector<unsigned>{kProgressTimer};
  }

  bool InIdleLayout() {
    return Control(IDC_START_UPDATE).enabled && Control(IDCANCEL).enabled &&
           Control(IDC_PORT_LIST).enabled && Control(IDC_INFO).visible &&
           Control(IDC_WARNING_TEXT).visible && !Control(IDC_PROGRESS).visible &&
           !Control(IDC_PERCENT).visible && !Control(IDC_JOBNAME).visible &&
           !Control(IDC_ANIMATION).visible && !Control(IDC_ANIMATION).animationPlaying &&
           Ui().Timers(IDD_UPGRADE_DIALOG) == std::vector<unsigned>{kBlinkTimer};
  }

  template <typename Predicate>
  static bool WaitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  TestEnvironment env;
  headless::HeadlessHarness ui;
  std::atomic<CUpgradeDlg*> window{nullptr};
};
