// ConfirmUpdate: the two texts, the family that counts, the completion event.
#include "ui/confirm_dlg.h"

#include <gtest/gtest.h>

#include "platform/named_event.h"
#include "ui/run_fixture.h"

namespace {

class ConfirmTest : public RunFixture {
 protected:
  // Runs ConfirmUpdate on the UI thread with the given families selected.
  void StartConfirm(std::vector<DeviceFamily> selected, std::string installedVersion) {
    ui.Start([this, selected, installedVersion] {
      CUpgradeDlg dialog(env);
      dialog.MarkAvailableFamilies();
      for (DeviceFamily family : selected) SetFlag(dialog.RunState().selected[FamilyIndex(family)]);
      result.store(dialog.ConfirmUpdate(installedVersion) ? 1 : 0);
    });
    ASSERT_TRUE(WaitForConfirmation());
  }
  int Answer(int button) {
    Ui().Click(IDD_CONFIRM, button);
    EXPECT_TRUE(ui.Join());
    return result.load();
  }
  std::string DeviceText() { return Ui().Control(IDD_CONFIRM, IDC_DEVICE_VERSION).text; }
  std::string NewText() { return Ui().Control(IDD_CONFIRM, IDC_NEW_VERSION).text; }

  std::atomic<int> result{-1};
};

TEST_F(ConfirmTest, VersionTextsAreArgumentsNeverFormats) {
  StartConfirm({DeviceFamily::HLX700}, "9%s%d%%");
  EXPECT_EQ(DeviceText(), "Application:\t\tVersion 9%s%d%%\nConfiguration file:\t9%s%d%%");
  EXPECT_EQ(NewText(), "Application:\t\tVersion 1.2.3");
  EXPECT_EQ(Answer(IDOK), 1);
}

TEST_F(ConfirmTest, FirstSelectedFamilyGivesVersionAndEventAndCancelKeepsTheEvent) {
  env.AddFirmwareFiles({"MV5100V_5_0_1.bin", "KIIV_7_7.bin"});
  StartConfirm({DeviceFamily::KII, DeviceFamily::MV5100}, "3.0");
  EXPECT_EQ(NewText(), "Application:\t\tVersion 5.0.1");
  // The event exists while the dialog is shown, not signalled when new.
  auto event = platform::NamedEvent::Open("Vantrel NVB MV5100 Reflint").value();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->Wait(0), platform::WaitResult::TimedOut);
  EXPECT_EQ(Answer(IDCANCEL), 0);
}

TEST_F(ConfirmTest, MissingFirmwareStillOffersProceed) {
  env.AddFirmwareFiles({"TQ640.bin"});  // found, but no version in its name
  StartConfirm({DeviceFamily::TQ640}, "1.0");
  EXPECT_EQ(NewText(), "Application:\t\tVersion \nCould not find a correct software file.\n");
  EXPECT_EQ(Answer(IDOK), 1);
}

TEST_F(ConfirmTest, NoSelectedFamilyLeavesTheNewVersionEmptyAndProceedHolds) {
  StartConfirm({}, "Not acquired.");
  EXPECT_EQ(NewText(), "");
  EXPECT_EQ(Answer(IDOK), 1);
}

TEST_F(ConfirmTest, EscapeAndCloseBoxDecline) {
  StartConfirm({DeviceFamily::HLX700}, "1");
  Ui().Close(IDD_CONFIRM);
  EXPECT_TRUE(ui.Join());
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
