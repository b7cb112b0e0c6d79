// The device choice dialog on its own, driven through the headless backend.
#include "ui/select_device_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/resource_ids.h"
#include "window/headless/headless_harness.h"

namespace {

using headless::HeadlessDriver;
using headless::HeadlessHarness;
using ::testing::ElementsAre;

// Notes which timers were still set right after OK or Cancel closed it.
class RecordingSelectDeviceDlg : public CSelectDeviceDlg {
 public:
  explicit RecordingSelectDeviceDlg(HeadlessDriver& backend) : backend_(backend) {}
  void OnOK() override {
    CSelectDeviceDlg::OnOK();
    timersAfterClose = backend_.Timers(IDD_SELECT_DEVICE);
  }
  void OnCancel() override {
    CSelectDeviceDlg::OnCancel();
    timersAfterClose = backend_.Timers(IDD_SELECT_DEVICE);
  }
  std::vector<unsigned> timersAfterClose{99};

 private:
  HeadlessDriver& backend_;
};

std::vector<std::string> ItemTexts(const headless::ControlState& list) {
  std::vector<std::string> texts;
  for (const headless::ListItem& item : list.items) texts.push_back(item.text);
  return texts;
}

TEST(SelectDeviceDlg, CandidatesSkipEmptyNamesAndAreCopied) {
  CSelectDeviceDlg dialog;
  dialog.AddDevice("HLX700");
  dialog.AddDevice("");
  dialog.AddDevice("Kestra II");
  EXPECT_EQ(dialog.GetDeviceCount(), 2);
  EXPECT_EQ(dialog.GetDevice(1), "Kestra II");
  EXPECT_EQ(dialog.GetDevice(2), "");
  EXPECT_EQ(dialog.GetSelection(), "");
}

TEST(SelectDeviceDlg, OpensWithFirstEntrySelectedAndBlinks) {
  HeadlessHarness harness;
  HeadlessDriver& backend = harness.Driver();
  std::unique_ptr<RecordingSelectDeviceDlg> dialog;
  int result = 0;
  std::string selection;
  harness.Start([&] {
    dialog = std::make_unique<RecordingSelectDeviceDlg>(backend);
    dialog->AddDevice("HLX700");
    dialog->AddDevice("TQ640");
    result = dialog->DoModal();
    selection = dialog->GetSelection();
  });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  ASSERT_TRUE(backend.WaitForIdle());
  const headless::ControlState list = backend.Control(IDD_SELECT_DEVICE, IDC_DEVICE_LIST);
  EXPECT_THAT(ItemTexts(list), ElementsAre("HLX700", "TQ640"));
  EXPECT_EQ(list.curSel, 0);
  EXPECT_THAT(backend.Timers(IDD_SELECT_DEVICE), ElementsAre(1u));

  const bool visibleAtStart = backend.Control(IDD_SELECT_DEVICE, IDC_SELECT_ICON).visible;
  backend.FireTimer(IDD_SELECT_DEVICE, 1);
  ASSERT_TRUE(backend.WaitForIdle());
  EXPECT_NE(backend.Control(IDD_SELECT_DEVICE, IDC_SELECT_ICON).visible, visibleAtStart);
  backend.FireTimer(IDD_SELECT_DEVICE, 1);
  ASSERT_TRUE(backend.WaitForIdle());
  EXPECT_EQ(backend.Control(IDD_SELECT_DEVICE, IDC_SELECT_ICON).visible, visibleAtStart);

  backend.SelectListItem(IDD_SELECT_DEVICE, IDC_DEVICE_LIST, 1);
  backend.Click(IDD_SELECT_DEVICE, IDOK);
  ASSERT_TRUE(harness.Join());
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(selection, "TQ640");
  EXPECT_TRUE(dialog->timersAfterClose.empty()) << "the blink timer must stop on OK";
}

TEST(SelectDeviceDlg, CancelStopsTheTimerAndEmptyListSelectsNothing) {
  HeadlessHarness harness;
  HeadlessDriver& backend = harness.Driver();
  std::unique_ptr<RecordingSelectDeviceDlg> dialog;
  int result = 0;
  harness.Start([&] {
    dialog = std::make_unique<RecordingSelectDeviceDlg>(backend);
    result = dialog->DoModal();
  });
  ASSERT_TRUE(backend.WaitForDialog(IDD_SELECT_DEVICE));
  ASSERT_TRUE(backend.WaitForIdle());
  EXPECT_EQ(backend.Control(IDD_SELECT_DEVICE, IDC_DEVICE_LIST).curSel, -1);
  backend.Click(IDD_SELECT_DEVICE, IDCANCEL);
  ASSERT_TRUE(harness.Join());
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog->GetSelection(), "");
  EXPECT_TRUE(dialog->timersAfterClose.empty()) << "the blink timer must stop on Cancel";
}

}  // namespace
