// Start Update up to the confirmation: every early end with its message and
// a clear run state, the installed-version texts, the reset prompt and the
// catch-boot wait.
#include <gtest/gtest.h>

#include <set>

#include "doctor/report.h"
#include "ui/run_fixture.h"

namespace {

using SequenceTest = RunFixture;

constexpr const char* kOnlyHlx700Question =
    "It was not possible to retrieve information from the connected device.\n"
    "Are you sure the device connected to the PC is a HLX700";

int LibraryCalls(const FakeDeviceLibrary& library) {
  return static_cast<int>(library.Calls().size() + library.DownloadedPaths().size()) +
         library.initComCalls.load() + library.catchBootCalls.load();
}

TEST_F(SequenceTest, WithoutSavedPortAskForOneAndCallNothing) {
  env.SetSavedPort(0);
  env.SetOpenPorts({});  // nothing found, so nothing gets saved on opening
  OpenWindow();
  PressStartUpdate();
  EXPECT_EQ(DismissMessageBox(), "Please Select a COM port!!!");
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_EQ(LibraryCalls(*env.library), 0);
  EXPECT_FALSE(Ui().WaitCursorShown());
  EXPECT_TRUE(InIdleLayout());
}

// The port doctor's finding comes as a second box after the described one:
// after "We could not detect a connected device", and after "Please Select a
// COM port!!!" when the list found no port; not when it lists one.
struct DoctorRow {
  const char* name;
  std::set<int> openPorts;
  int savedPort;
  const char* first;
  bool second;
  int examined;
};

void PrintTo(const DoctorRow& row, std::ostream* os) { *os << row.name; }

class DoctorMessageTest : public RunFixture, public testing::WithParamInterface<DoctorRow> {};

TEST_P(DoctorMessageTest, FollowsTheDescribedMessage) {
  const DoctorRow& row = GetParam();
  env.examination = doctor::Report{};
  env.examination->subjects.push_back(
      {0,
       "",
       "WCH CH340 (1a86:7523) on USB 1-2",
       {{doctor::Cause::kBrltty, "brltty takes the WCH CH340", "sudo apt remove brltty"}}});
  env.library->initComSucceedsAt.store(0);  // must be caught, and is not
  env.library->catchBootAnswer.store(0);
  env.SetOpenPorts(row.openPorts).SetSavedPort(row.savedPort);
  OpenWindow();
  env.SetSavedPort(row.savedPort);  // a first start saves the lowest port listed
  PressStartUpdate();
  if (row.savedPort != 0) {
    ASSERT_EQ(AnswerBox(IDYES), kOnlyHlx700Question);
  }
  EXPECT_EQ(DismissMessageBox(), row.first);
  if (row.second) {
    EXPECT_EQ(DismissMessageBox(), "brltty takes the WCH CH340\n\nsudo apt remove brltty");
  }
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_FALSE(Ui().WaitForMessageBox(std::chrono::milliseconds(100)).has_value());
  EXPECT_EQ(env.Examined(), std::vector<int>{row.examined});
  EXPECT_TRUE(InIdleLayout());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DoctorMessageTest,
    testing::Values(
        DoctorRow{"NotDetected", {3}, 3, "We could not detect a connected device", true, 3},
        DoctorRow{"NoPortListed", {}, 0, "Please Select a COM port!!!", true, 0},
        DoctorRow{"PortListedButNoneChosen", {5}, 0, "Please Select a COM port!!!", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequenceTest, MissingLibraryShowsTheLoaderTextAndClearsTheRun) {
  env.WithoutLibrary();
  OpenWindow();
  PressStartUpdate();
  EXPECT_EQ(DismissMessageBox(), kMissingLibraryText);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(RunStateClear());
  EXPECT_FALSE(Ui().WaitCursorShown());
}

// No boot information: the user confirms the only family with firmware, the
// device answers, and the confirmation shows that nothing was read from it.
// Declining leaves a clear run for the next press.
TEST_F(SequenceTest, ChosenDeviceShowsNotAcquiredWithoutFullStopAndDeclineClears) {
  OpenWindow();
  for (int press = 0; press < 2; ++press) {
    PressStartUpdate();
    ASSERT_TRUE(Ui().WaitForMessageBox());
    // Each press starts from a clear run: nothing selected yet.
    EXPECT_TRUE(RunStateClear());
    EXPECT_EQ(AnswerBox(IDYES), kOnlyHlx700Question);
    ASSERT_TRUE(WaitForConfirmation());
    EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text,
              "Application:\t\tVersion Not acquired\nConfiguration file:\tNot acquired");
    Ui().Click(IDD_CONFIRM, IDCANCEL);
    ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
    ASSERT_TRUE(Ui().WaitForIdle());
    EXPECT_TRUE(RunStateClear());
    EXPECT_TRUE(InIdleLayout());
    EXPECT_FALSE(Ui().WaitCursorShown());
  }
  EXPECT_EQ(Ui().MessageBoxes().size(), 2u);  // the two questions, nothing else
}

TEST_F(SequenceTest, UserDecliningTheChoiceEndsTheRunClear) {
  OpenWindow();
  PressStartUpdate();
  EXPECT_EQ(AnswerBox(IDNO), kOnlyHlx700Question);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(RunStateClear());
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
  EXPECT_EQ(env.library->initComCalls.load(), 0);
}

TEST_F(SequenceTest, BootMatchedDeviceWithoutApplicationShowsNotAcquiredWithFullStop) {
  ScriptHlx700(/*applicationAnswers=*/false);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(WaitForConfirmation());
  EXPECT_EQ(Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text,
            "Application:\t\tVersion Not acquired.\nConfiguration file:\tNot acquired.");
  Ui().Click(IDD_CONFIRM, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(RunStateClear());
}

// The device does not answer at first: the reset prompt asks for RESET while
// its job polls; the device answers at the job's third poll.
TEST_F(SequenceTest, ResetPromptIsClosedByItsJobWhenTheDeviceAnswers) {
  ScriptHlx700();
  env.library->initComSucceedsAt.store(4);  // the sequence's call, then three polls
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Ui().WaitForDialog(IDD_RESET_PROMPT));
  EXPECT_FALSE(Ui().FindControl(IDD_RESET_PROMPT, IDOK).has_value());
  // Enter does not pass for "found".
  Ui().Click(IDD_RESET_PROMPT, IDOK);
  ASSERT_TRUE(WaitForConfirmation());
  EXPECT_EQ(Ui().LastResult(IDD_RESET_PROMPT), 1);
  EXPECT_EQ(env.library->initComCalls.load(), 4);
  EXPECT_EQ(env.library->lastCode.load(), 0);
  EXPECT_EQ(env.library->lastPort.load(), 3);
  Ui().Click(IDD_CONFIRM, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
}

TEST_F(SequenceTest, CancelledResetPromptEndsTheRunAndItsJobPollsNoMore) {
  ScriptHlx700();
  env.library->initComSucceedsAt.store(0);
  OpenWindow();
  PressStartUpdate();
  ASSERT_TRUE(Ui().WaitForDialog(IDD_RESET_PROMPT));
  ASSERT_TRUE(WaitUntil([&] { return env.library->initComCalls.load() >= 3; }));
  Ui().Click(IDD_RESET_PROMPT, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_RESET_PROMPT));
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_EQ(Ui().LastResult(IDD_RESET_PROMPT), IDCANCEL);
  EXPECT_TRUE(RunStateClear());
  EXPECT_TRUE(Ui().MessageBoxes().empty());
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
  // The device answering now reaches nobody.
  env.library->initComSucceedsAt.store(1);
  int calls = env.library->initComCalls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_LE(env.library->initComCalls.load(), calls + 1);  // at most a poll under way
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
}

class CatchBootTest : public RunFixture {
 protected:
  CatchBootTest() { env.library->initComSucceedsAt.store(0); }  // must be caught

  // No boot information; the user confirms HLX700, the only family.
  void StartChosenRun() {
    PressStartUpdate();
    ASSERT_EQ(AnswerBox(IDYES), kOnlyHlx700Question);
  }

  // The second's pause lasts until the job has answered.
  void PauseUntilCaught() {
    env.sleepHook = [this] {
      WaitUntil([&] {
        std::shared_ptr<CThread> worker = env.LastWorker();
        return worker && worker->BootCaught();
      });
    };
  }
};

TEST_F(CatchBootTest, BootLoaderCaughtWithinTheWaitLeadsToTheConfirmation) {
  PauseUntilCaught();
  OpenWindow();
  StartChosenRun();
  ASSERT_TRUE(WaitForConfirmation());
  EXPECT_EQ(env.Sleeps(), std::vector<unsigned>{1000});
  EXPECT_EQ(env.library->catchBootCalls.load(), 1);
  EXPECT_EQ(env.library->lastCode.load(), 0);
  EXPECT_EQ(env.library->lastPort.load(), 3);
  Ui().Click(IDD_CONFIRM, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
}

TEST_F(CatchBootTest, BootLoaderNotCaughtInTimeEndsTheRunWithItsMessage) {
  env.library->Hold(JobCall::kCatchBoot);
  OpenWindow();
  StartChosenRun();
  EXPECT_EQ(DismissMessageBox(), "We could not detect a connected device");
  // The given-up job answers late: nobody listens.
  env.library->Release(JobCall::kCatchBoot);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_TRUE(RunStateClear());
  EXPECT_EQ(env.Sleeps(), std::vector<unsigned>{1000});
  ASSERT_TRUE(
      WaitUntil([&] { return env.library.use_count() == 1 + 1; }));  // ours and the window's
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
}

// A run that gives up on a job still inside a library call (a cancelled
// reset prompt's poll, a catch boot past its second) ends only once the job
// is out, and no call on the port ever overlaps another.
TEST_F(CatchBootTest, RunEndsOnlyOnceItsJobIsOutOfTheLibrary) {
  struct Case {
    const char* name;
    bool bootInformation;  // reset prompt; else catch boot
  };
  // The second's pause ends with the catch-boot job inside its call.
  env.sleepHook = [this] {
    WaitUntil([&] { return env.library->portCallsInProgress.load() == 1; });
  };
  OpenWindow();
  for (const Case& c : {Case{"cancelled reset prompt", true}, Case{"catch boot given up", false}}) {
    SCOPED_TRACE(c.name);
    env.library->Answer(DeviceFamily::HLX700, Query::kBoot, c.bootInformation ? 1 : 0,
                        "Boot OEM 35243 v1");
    env.library->Answer(DeviceFamily::HLX700, Query::kProduct, 1, "Vantrel HLX700 remote");
    if (c.bootInformation) {
      PressStartUpdate();
      ASSERT_TRUE(Ui().WaitForDialog(IDD_RESET_PROMPT));
      env.library->Hold(JobCall::kInitCom);  // the job's next poll stays in the library
      int polls = env.library->initComCalls.load();
      ASSERT_TRUE(WaitUntil([&] { return env.library->initComCalls.load() > polls; }));
      Ui().Click(IDD_RESET_PROMPT, IDCANCEL);
      ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_RESET_PROMPT));
    } else {
      env.library->Hold(JobCall::kCatchBoot);
      StartChosenRun();
      EXPECT_EQ(DismissMessageBox(), "We could not detect a connected device");
    }
    EXPECT_FALSE(Ui().WaitForIdle(std::chrono::milliseconds(100)));
    EXPECT_TRUE(Ui().WaitCursorShown());
    env.library->Release(JobCall::kInitCom);
    env.library->Release(JobCall::kCatchBoot);
    ASSERT_TRUE(Ui().WaitForIdle());
    EXPECT_FALSE(Ui().WaitCursorShown());
    EXPECT_TRUE(RunStateClear());
    // Stopped for good: no poll after the run's end.
    int calls = env.library->initComCalls.load() + env.library->catchBootCalls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(env.library->initComCalls.load() + env.library->catchBootCalls.load(), calls);
  }
  // The device answers now: the next run reaches the confirmation.
  env.library->initComSucceedsAt.store(1);
  StartChosenRun();
  ASSERT_TRUE(WaitForConfirmation());
  Ui().Click(IDD_CONFIRM, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
  EXPECT_EQ(env.library->overlappingCalls.load(), 0);
}

// A success left from an earlier run cannot make a later run go on with a
// device that was not caught.
TEST_F(CatchBootTest, EarlierCatchDoesNotCountForALaterRun) {
  PauseUntilCaught();
  OpenWindow();
  StartChosenRun();
  ASSERT_TRUE(WaitForConfirmation());
  Ui().Click(IDD_CONFIRM, IDCANCEL);
  ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
  ASSERT_TRUE(Ui().WaitForIdle());

  env.library->Hold(JobCall::kCatchBoot);
  env.sleepHook = nullptr;
  StartChosenRun();
  EXPECT_EQ(DismissMessageBox(), "We could not detect a connected device");
  env.library->Release(JobCall::kCatchBoot);
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
  EXPECT_TRUE(RunStateClear());
}

TEST_F(CatchBootTest, CatchBootWorkerThatCannotBeCreatedIsNotCaught) {
  env.workersToRefuse.store(1);
  OpenWindow();
  StartChosenRun();
  EXPECT_EQ(DismissMessageBox(), "We could not detect a connected device");
  ASSERT_TRUE(Ui().WaitForIdle());
  EXPECT_EQ(env.Sleeps(), std::vector<unsigned>{1000});
  EXPECT_TRUE(RunStateClear());
}

}  // namespace
