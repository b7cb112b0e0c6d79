// The main window's device choice and its identification without a device
// library, on the headless backend.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/resource_ids.h"
#include "ui/test_environment.h"
#include "ui/upgrade_dlg.h"
#include "window/headless/headless_harness.h"

namespace {

using headless::HeadlessDriver;
using headless::HeadlessHarness;
using ::testing::ElementsAre;
using F = DeviceFamily;

const std::string kFirstLine =
    "It was not possible to retrieve information from the connected device.\n";

class DeviceChoiceFlowTest : public ::testing::Test {
 protected:
  DeviceChoiceFlowTest() { environment.WithoutLibrary(); }
  void MakeAvailable(std::initializer_list<F> families) {
    for (F f : families) SetFlag(window.RunState().available[FamilyIndex(f)]);
  }
  std::vector<F> Selected() {
    std::vector<F> result;
    for (F f : kExaminationOrder)
      if (window.RunState().IsSelected(f)) result.push_back(f);
    return result;
  }
  // Runs a choice on the UI thread; its answer lands in chosen.
  void Start(std::function<bool(CUpgradeDlg&)> choice) {
    harness.Start([this, choice] { chosen = choice(window); });
  }
  std::vector<std::string> ListTexts() {
    std::vector<std::string> texts;
    for (const auto& item : backend.Control(IDD_SELECT_DEVICE, IDC_DEVICE_LIST).items)
      texts.push_back(item.text);
    return texts;
  }

  TestEnvironment environment;
  CUpgradeDlg window{environment};
  HeadlessHarness harness;
  HeadlessDriver& backend = harness.Driver();
  bool chosen = false;
};

TEST_F(DeviceChoiceFlowTest, OneCandidateIsAYesNoQuestion) {
  MakeAvailable({F::KII});
  Start([](CUpgradeDlg& w) { return w.ChooseAmongAvailable(); });
  std::optional<headless::MessageBoxRecord> box = backend.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, kFirstLine + "Are you sure the device connected to the PC is a Kestra II");
  EXPECT_EQ(box->type, 36u);
  backend.AnswerMessageBox(IDYES);
  ASSERT_TRUE(harness.Join());
  EXPECT_TRUE(chosen);
  EXPECT_THAT(Selected(), ElementsAre(F::KII));
  EXPECT_EQ(window.GetDeviceCode(), 3);
  EXPECT_FALSE(backend.LastResult(IDD_SELECT_DEVICE)) << "no dialog for one candidate";
}

TEST_F(DeviceChoiceFlowTest, NoToTheQuestionChangesNothing) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640});
  Start([](CUpgradeDlg& w) { return w.ChooseAmongBootIdFamilies("45323"); });
  std::optional<headless::MessageBoxRecord> box = backend.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, kFirstLine + "Are you sure the device connected to the PC is a MV5100?");
  backend.AnswerMessageBox(IDNO);
  ASSERT_TRUE(harness.Join());
  EXPECT_FALSE(chosen);
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(window.GetDeviceCode(), kNoDeviceCode);
}

TEST_F(DeviceChoiceFlowTest, SeveralCandidatesShowTheDialogWithTheFirstPreselected) {
  MakeAvailable({F::HLX700, F::TQ640, F::KII});
  Start([](CUpgradeDlg& w) { return w.ChooseAmongBootIdFamilies("35243"); });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  ASSERT_TRUE(backend.WaitForIdle());
  EXPECT_THAT(ListTexts(), ElementsAre("HLX700", "TQ640"));
  EXPECT_EQ(backend.Control(IDD_SELECT_DEVICE, IDC_DEVICE_LIST).curSel, 0);
  backend.Click(IDD_SELECT_DEVICE, IDOK);
  ASSERT_TRUE(harness.Join());
  EXPECT_TRUE(chosen);
  EXPECT_THAT(Selected(), ElementsAre(F::HLX700));
  EXPECT_EQ(window.GetDeviceCode(), 0);
}

TEST_F(DeviceChoiceFlowTest, EmptyListOkIsAChoiceOfNothing) {
  Start([](CUpgradeDlg& w) { return w.ChooseAmongAvailable(); });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  ASSERT_TRUE(backend.WaitForIdle());
  EXPECT_TRUE(ListTexts().empty());
  backend.Click(IDD_SELECT_DEVICE, IDOK);
  ASSERT_TRUE(harness.Join());
  EXPECT_TRUE(chosen);
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(window.GetDeviceCode(), kNoDeviceCode);
}

TEST_F(DeviceChoiceFlowTest, CancelChangesNothing) {
  MakeAvailable({F::HLX700, F::TQ640});
  Start([](CUpgradeDlg& w) { return w.ChooseAmongBootIdFamilies("35243"); });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  backend.SelectListItem(IDD_SELECT_DEVICE, IDC_DEVICE_LIST, 1);
  backend.Click(IDD_SELECT_DEVICE, IDCANCEL);
  ASSERT_TRUE(harness.Join());
  EXPECT_FALSE(chosen);
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(window.GetDeviceCode(), kNoDeviceCode);
}

TEST_F(DeviceChoiceFlowTest, CloseBoxChangesNothing) {
  MakeAvailable({F::MV5100, F::KII});
  Start([](CUpgradeDlg& w) { return w.ChooseAmongAvailable(); });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  backend.Close(IDD_SELECT_DEVICE);
  ASSERT_TRUE(harness.Join());
  EXPECT_FALSE(chosen);
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(window.GetDeviceCode(), kNoDeviceCode);
}

TEST_F(DeviceChoiceFlowTest, WithoutLibraryIdentificationDecidesNothing) {
  MakeAvailable({F::HLX700, F::KII});
  SetFlag(window.RunState().bootMatched[FamilyIndex(F::KII)]);
  std::string bootId = "keep";
  EXPECT_FALSE(window.QueryBootInformation(3, bootId));
  EXPECT_EQ(bootId, "keep");
  EXPECT_FALSE(window.QueryProductInformation(3, "     "));
  EXPECT_EQ(window.QueryApplicationInformation(3), "Not acquired.");
  EXPECT_TRUE(Selected().empty());
  EXPECT_TRUE(window.RunState().IsBootMatched(F::KII));
}

}  // namespace
