// The reset prompt on its own: a cancelled showing's job can never close a
// later showing, even when its device answers after the cancel.
#include "ui/reset_prompt_dlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "identify/fake_device_library.h"
#include "run/cthread.h"
#include "run/update_face.h"
#include "ui/resource_ids.h"
#include "window/headless/headless_harness.h"

namespace {

using std::chrono::milliseconds;

// Hands each new job the next library of the list.
class TwoLibraryWaits : public ResetWaits {
 public:
  std::shared_ptr<CThread> NewWaitForReset() override {
    auto worker = CThread::Begin();
    worker->SetMode(CThread::kWaitForResetMode);
    worker->SetInputs({3, 5, jobs.fetch_add(1) == 0 ? first : second, std::nullopt});
    return worker;
  }

  std::shared_ptr<FakeDeviceLibrary> first = std::make_shared<FakeDeviceLibrary>();
  std::shared_ptr<FakeDeviceLibrary> second = std::make_shared<FakeDeviceLibrary>();
  std::atomic<int> jobs{0};
};

template <typename Predicate>
bool WaitUntil(Predicate done) {
  auto deadline = std::chrono::steady_clock::now() + milliseconds(5000);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

TEST(ResetPromptTest, CancelledJobNeverClosesALaterShowing) {
  TwoLibraryWaits owner;
  owner.second->initComSucceedsAt.store(0);
  owner.first->Hold(JobCall::kInitCom);  // the first job sits in its poll
  std::atomic<int> secondResult{0};
  {
    CResetPromptDlg prompt;
    prompt.SetWaits(&owner);
    headless::HeadlessHarness ui;
    headless::HeadlessDriver& b = ui.Driver();
    ui.Start([&] {
      prompt.DoModal();
      secondResult.store(prompt.DoModal());
    });
    ASSERT_TRUE(b.WaitForDialog(IDD_RESET_PROMPT));
    ASSERT_TRUE(WaitUntil([&] { return owner.first->initComCalls.load() == 1; }));
    b.Click(IDD_RESET_PROMPT, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return owner.jobs.load() == 2; }));  // the second showing's job
    // The first device answers now, after its prompt was cancelled.
    owner.first->Release(JobCall::kInitCom);
    std::this_thread::sleep_for(milliseconds(150));
    ASSERT_TRUE(b.WaitForIdle());
    EXPECT_TRUE(b.IsDialogOpen(IDD_RESET_PROMPT));
    EXPECT_EQ(owner.first->initComCalls.load(), 1);  // and it polled no more
    EXPECT_GE(owner.second->initComCalls.load(), 1);
    EXPECT_EQ(owner.second->lastCode.load(), 3);
    EXPECT_EQ(owner.second->lastPort.load(), 5);
    // Enter does not close it as found; Escape cancels.
    b.Click(IDD_RESET_PROMPT, IDOK);
    ASSERT_TRUE(b.WaitForIdle());
    EXPECT_TRUE(b.IsDialogOpen(IDD_RESET_PROMPT));
    b.Close(IDD_RESET_PROMPT);
    ASSERT_TRUE(ui.Join());
  }
  EXPECT_EQ(secondResult.load(), IDCANCEL);
}

}  // namespace
