#include "identify/device_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using F = DeviceFamily;

// Answers the selection as scripted and records the candidates shown. The
// question of a single candidate is covered on the real message box.
class FakeChoiceUi : public DeviceChoiceUi {
 public:
  bool AskYesNo(const std::string& question) override {
    ADD_FAILURE() << "unexpected question: " << question;
    return false;
  }
  std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) override {
    shownCandidates.push_back(candidates);
    return selection;
  }

  std::optional<std::string> selection;
  std::vector<std::vector<std::string>> shownCandidates;
};

class DeviceChoiceTest : public ::testing::Test {
 protected:
  void MakeAvailable(std::initializer_list<F> families) {
    for (F f : families) SetFlag(state.available[FamilyIndex(f)]);
  }
  std::vector<F> Selected() const {
    std::vector<F> result;
    for (F f : kExaminationOrder)
      if (state.IsSelected(f)) result.push_back(f);
    return result;
  }
  void ExpectUnchanged() {
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(state.GetDeviceCode(), kNoDeviceCode);
  }

  UpdateRunState state;
  FakeChoiceUi ui;
};

TEST_F(DeviceChoiceTest, SharedBootIdOffersAvailableFamiliesInExaminationOrder) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640});
  ui.selection = "tq640";  // mapped back without regard to case
  EXPECT_TRUE(ChooseAmongBootIdFamilies(state, ui, "35243"));
  EXPECT_THAT(ui.shownCandidates, ElementsAre(ElementsAre("HLX700", "TQ640")));
  EXPECT_THAT(Selected(), ElementsAre(F::TQ640));
  EXPECT_EQ(state.GetDeviceCode(), 1);
}

TEST_F(DeviceChoiceTest, AllAvailableFamiliesAreOfferedByDisplayName) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640, F::KII});
  ui.selection = "Kestra II";
  EXPECT_TRUE(ChooseAmongAvailable(state, ui));
  EXPECT_THAT(ui.shownCandidates,
              ElementsAre(ElementsAre("HLX700", "MV5100", "TQ640", "Kestra II")));
  EXPECT_THAT(Selected(), ElementsAre(F::KII));
  EXPECT_EQ(state.GetDeviceCode(), 3);
}

TEST_F(DeviceChoiceTest, EmptyOrUnknownChoiceIsAcceptedButSelectsNothing) {
  ui.selection = "";
  EXPECT_TRUE(ChooseAmongAvailable(state, ui));
  EXPECT_THAT(ui.shownCandidates, ElementsAre(ElementsAre()));
  ExpectUnchanged();

  MakeAvailable({F::HLX700, F::KII});
  ui.selection = "KII";  // the prefix, not a display name
  EXPECT_TRUE(ChooseAmongAvailable(state, ui));
  ExpectUnchanged();
}

TEST_F(DeviceChoiceTest, ChoiceKeepsEarlierFlags) {
  MakeAvailable({F::HLX700, F::TQ640});
  SetFlag(state.bootMatched[FamilyIndex(F::TQ640)]);
  SetFlag(state.selected[FamilyIndex(F::TQ640)]);
  ui.selection = "HLX700";
  EXPECT_TRUE(ChooseAmongBootIdFamilies(state, ui, "35243"));
  EXPECT_THAT(Selected(), ElementsAre(F::HLX700, F::TQ640));
  EXPECT_TRUE(state.IsBootMatched(F::TQ640));
  EXPECT_EQ(state.GetDeviceCode(), 0);
}

}  // namespace
