// The road table walked by the main window: the person answers the dialogs
// the row's path brings (the family question, the reset prompt, the
// confirmation, the result), and the window ends idle with a clear run,
// having written the firmware as often as the row says.
#include <gtest/gtest.h>

#include "run/road_cases.h"
#include "ui/run_fixture.h"

namespace {

using road_cases::End;
using road_cases::RoadCase;

class WindowRoadTest : public RunFixture, public testing::WithParamInterface<RoadCase> {};

// "Application:\t\tVersion X\nConfiguration file:\tX" -> X
std::string InstalledShown(const std::string& text) {
  const std::string head = "Application:\t\tVersion ";
  const std::size_t end = text.find('\n');
  if (!text.starts_with(head) || end == std::string::npos) return "<" + text + ">";
  return text.substr(head.size(), end - head.size());
}

TEST_P(WindowRoadTest, EndsAsTheTableSays) {
  const RoadCase& c = GetParam();
  road_cases::Script(c, *env.library);
  road_cases::LateCatch late(c, *env.library);
  env.sleepHook = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kCatchBootWaitMs));
    late.AfterTheWait();
  };
  OpenWindow();
  PressStartUpdate();

  if (!c.bootAnswers) {
    EXPECT_NE(AnswerBox(c.choosesTheFamily ? IDYES : IDNO).find("is a HLX700"), std::string::npos);
  } else if (c.initComSucceedsAt != 1) {
    ASSERT_TRUE(Ui().WaitForDialog(IDD_RESET_PROMPT));
    if (c.initComSucceedsAt == 0) {
      ASSERT_TRUE(WaitUntil([&] { return env.library->initComCalls.load() >= 3; }));
      Ui().Click(IDD_RESET_PROMPT, IDCANCEL);
    }
    ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_RESET_PROMPT));
  }
  if (c.installed) {
    ASSERT_TRUE(WaitForConfirmation());
    EXPECT_EQ(InstalledShown(Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text), *c.installed);
    Ui().Click(IDD_CONFIRM, c.proceeds ? IDOK : IDCANCEL);
    ASSERT_TRUE(Ui().WaitForDialogClosed(IDD_CONFIRM));
  }
  const char* message[] = {"The firmware has been updated successfully!\n",
                           "We were unable to repair or update the firmware!\n",
                           "We could not detect a connected device", nullptr};
  if (const char* expected = message[static_cast<int>(c.end)]) {
    EXPECT_EQ(DismissMessageBox(), expected);
  }
  ASSERT_TRUE(WaitUntil([&] {
    FireProgressTick();
    return InIdleLayout();
  }));
  EXPECT_FALSE(Ui().IsDialogOpen(IDD_CONFIRM));
  EXPECT_FALSE(Ui().WaitForMessageBox(std::chrono::milliseconds(0)).has_value());
  EXPECT_TRUE(RunStateClear());
  EXPECT_EQ(static_cast<int>(env.library->DownloadedPaths().size()), c.downloads);
  EXPECT_EQ(env.library->overlappingCalls.load(), 0);
  Ui().Close(IDD_UPGRADE_DIALOG);
  EXPECT_TRUE(ui.Join());
}

INSTANTIATE_TEST_SUITE_P(Roads, WindowRoadTest, testing::ValuesIn(road_cases::Cases()),
                         road_cases::Name);

}  // namespace
