#include "identify/device_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using F = DeviceFamily;

// Answers the question and the selection as scripted; records what it was shown.
class FakeChoiceUi : public DeviceChoiceUi {
 public:
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answerYes;
  }
  std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) override {
    shownCandidates.push_back(candidates);
    return selection;
  }

  bool answerYes = true;
  std::optional<std::string> selection;
  std::vector<std::string> questions;
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

TEST_F(DeviceChoiceTest, SingleAvailableFamilyIsAskedWithoutQuestionMark) {
  MakeAvailable({F::KII});
  EXPECT_TRUE(ChooseAmongAvailable(state, ui));
  EXPECT_THAT(ui.questions,
              ElementsAre("It was not possible to retrieve information from the connected "
                          "device.\nAre you sure the device connected to the PC is a Kestra II"));
  EXPECT_TRUE(ui.shownCandidates.empty());
  EXPECT_THAT(Selected(), ElementsAre(F::KII));
  EXPECT_EQ(state.GetDeviceCode(), 3);
}

TEST_F(DeviceChoiceTest, NoOrCancelChangesNothing) {
  MakeAvailable({F::MV5100});
  ui.answerYes = false;
  EXPECT_FALSE(ChooseAmongAvailable(state, ui));
  ExpectUnchanged();

  MakeAvailable({F::HLX700, F::TQ640});
  ui.selection.reset();
  EXPECT_FALSE(ChooseAmongAvailable(state, ui));
  EXPECT_FALSE(ChooseAmongBootIdFamilies(state, ui, "35243"));
  ExpectUnchanged();
}

TEST_F(DeviceChoiceTest, BootId45323AlwaysAsksAboutMv5100WithQuestionMark) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640, F::KII});
  EXPECT_TRUE(ChooseAmongBootIdFamilies(state, ui, "45323"));
  EXPECT_THAT(ui.questions,
              ElementsAre("It was not possible to retrieve information from the connected "
                          "device.\nAre you sure the device connected to the PC is a MV5100?"));
  EXPECT_TRUE(ui.shownCandidates.empty());
  EXPECT_THAT(Selected(), ElementsAre(F::MV5100));
  EXPECT_EQ(state.GetDeviceCode(), 2);
}

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
