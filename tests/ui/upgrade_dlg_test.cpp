// The main window's opening on the headless backend: information and warning
// texts, Start Update, the port list with the saved port, the system menu
// and the About box, minimised painting.
#include "ui/upgrade_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/test_environment.h"
#include "window/headless/headless_harness.h"

namespace {

using headless::HeadlessHarness;
using ::testing::ElementsAre;

constexpr const char* kWarning =
    "First save your customized configuration in your editor.\nIt will be lost after the update.";

class UpgradeDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallProgramResources(); }

  // Opens the main window over env_ and waits until it has settled.
  void Open() {
    ui_.Start([this] {
      CUpgradeDlg window(env_);
      result_ = window.DoModal();
    });
    ASSERT_TRUE(ui_.Driver().WaitForDialog(IDD_UPGRADE_DIALOG));
    ASSERT_TRUE(ui_.Driver().WaitForIdle());
  }
  headless::ControlState Control(int id) { return ui_.Driver().Control(IDD_UPGRADE_DIALOG, id); }
  std::vector<std::string> PortItems() {
    std::vector<std::string> texts;
    for (const auto& item : Control(IDC_PORT_LIST).items) texts.push_back(item.text);
    return texts;
  }

  TestEnvironment env_;
  std::atomic<int> result_{0};
  HeadlessHarness ui_;  // last: ends the window before env_ goes
};

TEST_F(UpgradeDlgTest, InformationTextListsFoundFamiliesInOrder) {
  env_.AddFirmwareFiles({"KIIV_2_0_7.bin", "HLX700V_1_02.bin"});
  Open();
  EXPECT_EQ(Control(IDC_INFO).text,
            "This is the Vantrel HLX700 firmware.\n"
            "  -  Firmware version : 1.02\n\n"
            "This is the Vantrel Kestra II Firmware.\n"
            "  -  Firmware version : 2.0.7\n\n"
            "\nSupported devices: \n"
            "    - Vantrel HLX700\n"
            "    - Vantrel Kestra II\n");
  EXPECT_EQ(Control(IDC_WARNING_TEXT).text, kWarning);
  EXPECT_TRUE(Control(IDC_START_UPDATE).enabled);
}

TEST_F(UpgradeDlgTest, OnlyMv5100) {
  env_.AddFirmwareFiles({"MV5100V_3_1.bin"});
  Open();
  EXPECT_EQ(Control(IDC_INFO).text,
            "This is the Dorlund MV5100 Firmware.\n"
            "  -  Firmware version : 3.1\n\n"
            "\nSupported devices: \n"
            "    - Dorlund MV5100\n");
}

TEST_F(UpgradeDlgTest, NoFirmwareDisablesStartUpdateButStillBlinks) {
  Open();
  EXPECT_EQ(Control(IDC_INFO).text, "\nSupported devices: \n");
  EXPECT_EQ(Control(IDC_WARNING_TEXT).text, "");
  EXPECT_FALSE(Control(IDC_START_UPDATE).enabled);
  EXPECT_TRUE(Control(IDCANCEL).enabled);
  EXPECT_TRUE(Control(IDC_PORT_LIST).enabled);
  EXPECT_THAT(ui_.Driver().Timers(IDD_UPGRADE_DIALOG), ElementsAre(kBlinkTimer));
}

TEST_F(UpgradeDlgTest, OneNamedVersionIsEnoughForStartUpdate) {
  env_.AddFirmwareFiles({"HLX700.bin", "TQ640V_5_5.bin"});
  Open();
  EXPECT_THAT(Control(IDC_INFO).text,
              ::testing::StartsWith("This is the Vantrel HLX700 firmware.\n"
                                    "  -  Firmware version : \n"
                                    "Could not find a correct software file.\n\n\n"
                                    "This is the Vantrel TQ640 Firmware.\n"
                                    "  -  Firmware version : 5.5\n\n"));
  EXPECT_TRUE(Control(IDC_START_UPDATE).enabled);
}

TEST_F(UpgradeDlgTest, NoNamedVersionKeepsWarningButDisablesStartUpdate) {
  env_.AddFirmwareFiles({"HLX700.bin"});
  Open();
  EXPECT_EQ(Control(IDC_WARNING_TEXT).text, kWarning);
  EXPECT_FALSE(Control(IDC_START_UPDATE).enabled);
}

TEST_F(UpgradeDlgTest, OpensInIdleLayoutWithMenuIconsAndBlinkTimer) {
  Open();
  auto& b = ui_.Driver();
  for (int id : {IDC_PROGRESS, IDC_JOBNAME, IDC_PERCENT, IDC_ANIMATION}) {
    EXPECT_FALSE(Control(id).visible) << id;
  }
  for (int id : {IDC_INFO, IDC_WARNING_TEXT, IDC_WARNING_ICON, IDC_PORT_LIST, IDC_START_UPDATE}) {
    EXPECT_TRUE(Control(id).visible) << id;
  }
  EXPECT_EQ(Control(IDC_PERCENT).text, "");
  EXPECT_EQ(Control(IDC_JOBNAME).text, "");
  ASSERT_EQ(b.SystemMenu(IDD_UPGRADE_DIALOG).size(), 1u);
  EXPECT_EQ(b.SystemMenu(IDD_UPGRADE_DIALOG)[0].commandId, 16u);
  EXPECT_EQ(b.SystemMenu(IDD_UPGRADE_DIALOG)[0].text, "&About...");
  EXPECT_EQ(b.WindowIcon(IDD_UPGRADE_DIALOG, true), IDR_MAINFRAME);
  EXPECT_EQ(b.WindowIcon(IDD_UPGRADE_DIALOG, false), IDR_MAINFRAME);
  EXPECT_THAT(b.Timers(IDD_UPGRADE_DIALOG), ElementsAre(kBlinkTimer));

  b.Click(IDD_UPGRADE_DIALOG, IDCANCEL);
  ASSERT_TRUE(ui_.Join());
  EXPECT_EQ(result_, IDCANCEL);
}

// Saved port, ports that open, the list it gives, the selected item and the
// saved port afterwards.
struct PortCase {
  const char* name;
  std::optional<int> saved;
  std::set<int> open;
  std::vector<std::string> items;
  int selected;
  std::optional<int> savedAfter;
};

class PortListTest : public UpgradeDlgTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortListTest, ListsOpenPortsAndSelectsTheSavedOne) {
  const PortCase& c = GetParam();
  if (c.saved) env_.SetSavedPort(*c.saved);
  env_.SetOpenPorts(c.open);
  Open();
  EXPECT_EQ(PortItems(), c.items);
  EXPECT_EQ(Control(IDC_PORT_LIST).curSel, c.selected);
  EXPECT_EQ(env_.SavedPort(), c.savedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, PortListTest,
    ::testing::Values(PortCase{"FirstRun", std::nullopt, {3, 5}, {"COM3", "COM5"}, 0, 3},
                      PortCase{"SavedPresent", 5, {3, 5}, {"COM3", "COM5"}, 1, 5},
                      PortCase{"PrefixMatch", 1, {10, 12}, {"COM10", "COM12"}, 0, 1},
                      PortCase{"SavedAbsent", 4, {3}, {"COM3"}, -1, 4},
                      PortCase{"NoPorts", 2, {}, {"No ports found"}, 0, 2},
                      PortCase{
                          "NoPortsFirstRun", std::nullopt, {}, {"No ports found"}, 0, std::nullopt},
                      PortCase{"NoPortsSavedZero", 0, {}, {"No ports found"}, 0, 0},
                      PortCase{"NeverAbove15", std::nullopt, {15, 16, 20}, {"COM15"}, 0, 15}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpgradeDlgTest, EverySelectionChangeSavesThePort) {
  env_.SetOpenPorts({3, 5, 12});
  env_.SetSavedPort(12);
  Open();
  auto& b = ui_.Driver();
  EXPECT_EQ(Control(IDC_PORT_LIST).curSel, 2);
  b.SelectListItem(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, 1);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(env_.SavedPort(), 5);
  b.SelectListItem(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, 0);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(env_.SavedPort(), 3);
}

TEST_F(UpgradeDlgTest, NoPortsEntrySavesZeroWhenChosen) {
  env_.SetSavedPort(2);
  Open();
  ui_.Driver().SelectListItem(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, 0);
  ASSERT_TRUE(ui_.Driver().WaitForIdle());
  EXPECT_EQ(env_.SavedPort(), 0);
}

// Ports plugged in or pulled out after the opening: the list is probed again
// when the user opens it or the system reports a device change. The port
// the user chose (userPick, an index) stays selected while it exists, and
// nothing is written without a choice of the user.
struct RefreshCase {
  const char* name;
  std::optional<int> saved;
  std::set<int> openBefore;
  std::optional<int> userPick;
  std::set<int> openAfter;
  bool deviceNotice;  // else the drop-down opening
  std::vector<std::string> items;
  int selected;
  std::optional<int> savedAfter;
};

TEST_F(UpgradeDlgTest, PortListFollowsThePortsWhenOpenedOrOnADeviceNotice) {
  const RefreshCase cases[] = {
      {"NewPortsAppear", 5, {5}, std::nullopt, {3, 5, 7}, false, {"COM3", "COM5", "COM7"}, 1, 5},
      {"SelectedPortGoes", 5, {3, 5}, std::nullopt, {3}, false, {"COM3"}, -1, 5},
      {"SavedPortComesBack", 4, {3}, std::nullopt, {3, 4}, true, {"COM3", "COM4"}, 1, 4},
      {"FirstPortWithNoneSaved",
       std::nullopt,
       {},
       std::nullopt,
       {3},
       true,
       {"COM3"},
       -1,
       std::nullopt},
      {"AllPortsGo", 3, {3}, std::nullopt, {}, false, {"No ports found"}, 0, 3},
      {"ChosenPortKeptAcrossNewOnes",
       3,
       {3, 7},
       1,
       {1, 3, 7},
       false,
       {"COM1", "COM3", "COM7"},
       2,
       7},
      // COM10 was selected for the saved COM1; a COM1 arriving does not move it.
      {"PrefixSelectionKept",
       1,
       {10, 12},
       std::nullopt,
       {1, 10, 12},
       true,
       {"COM1", "COM10", "COM12"},
       1,
       1},
  };
  for (const RefreshCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestEnvironment env;
    HeadlessHarness ui;
    auto& b = ui.Driver();
    if (c.saved) env.SetSavedPort(*c.saved);
    env.SetOpenPorts(c.openBefore);
    ui.Start([&env] {
      CUpgradeDlg window(env);
      window.DoModal();
    });
    ASSERT_TRUE(b.WaitForDialog(IDD_UPGRADE_DIALOG));
    ASSERT_TRUE(b.WaitForIdle());
    if (c.userPick) b.SelectListItem(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, *c.userPick);
    ASSERT_TRUE(b.WaitForIdle());
    const int writes = env.writes();
    env.SetOpenPorts(c.openAfter);
    if (c.deviceNotice)
      b.DeviceChange(IDD_UPGRADE_DIALOG);
    else
      b.Command(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, CBN_DROPDOWN);
    ASSERT_TRUE(b.WaitForIdle());
    const headless::ControlState list = b.Control(IDD_UPGRADE_DIALOG, IDC_PORT_LIST);
    std::vector<std::string> items;
    for (const auto& item : list.items) items.push_back(item.text);
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(list.curSel, c.selected);
    EXPECT_EQ(env.SavedPort(), c.savedAfter);
    EXPECT_EQ(env.writes(), writes);
    b.Close(IDD_UPGRADE_DIALOG);
    ASSERT_TRUE(ui.Join());
  }
}

TEST_F(UpgradeDlgTest, SystemMenuIds16To31OpenTheAboutBox) {
  Open();
  auto& b = ui_.Driver();
  b.SysCommand(IDD_UPGRADE_DIALOG, 32);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_FALSE(b.IsDialogOpen(IDD_ABOUTBOX));

  for (int round = 0; round < 2; ++round) {
    b.SysCommand(IDD_UPGRADE_DIALOG, 17);
    ASSERT_TRUE(b.WaitForDialog(IDD_ABOUTBOX));
    ASSERT_TRUE(b.WaitForIdle());
    EXPECT_EQ(b.Control(IDD_ABOUTBOX, IDC_TOOLNAME).text, "Reflint");
    EXPECT_EQ(b.Control(IDD_ABOUTBOX, IDC_VERSION).text, "Version 2, 1, 3, 0");
    b.Click(IDD_ABOUTBOX, IDOK);
    ASSERT_TRUE(b.WaitForDialogClosed(IDD_ABOUTBOX));
  }
  EXPECT_TRUE(b.IsDialogOpen(IDD_UPGRADE_DIALOG));
}

TEST_F(UpgradeDlgTest, MinimisedWindowDrawsItsIconCentred) {
  Open();
  auto& b = ui_.Driver();
  b.Paint(IDD_UPGRADE_DIALOG);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_TRUE(b.DrawnIcons(IDD_UPGRADE_DIALOG).empty());

  b.SetIconic(IDD_UPGRADE_DIALOG, true, {20, 41});
  b.Paint(IDD_UPGRADE_DIALOG);
  ASSERT_TRUE(b.WaitForIdle());
  const auto drawn = b.DrawnIcons(IDD_UPGRADE_DIALOG);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].x, -5);  // (20 - 32 + 1) / 2, truncated toward zero
  EXPECT_EQ(drawn[0].y, 5);
  EXPECT_EQ(drawn[0].iconId, IDR_MAINFRAME);
}

}  // namespace
