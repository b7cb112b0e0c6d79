#include "core/update_run_state.h"

#include <gtest/gtest.h>

namespace {

void ExpectRunFieldsClear(const UpdateRunState& state) {
  EXPECT_EQ(state.GetDeviceCode(), kNoDeviceCode);
  for (DeviceFamily family : kExaminationOrder) {
    EXPECT_FALSE(state.IsBootMatched(family));
    EXPECT_FALSE(state.IsSelected(family));
  }
  EXPECT_EQ(state.FirstSelectedFamily(), std::nullopt);
}

TEST(UpdateRunState, StartsWithEverythingClear) {
  const UpdateRunState state;
  ExpectRunFieldsClear(state);
  for (DeviceFamily family : kExaminationOrder) EXPECT_FALSE(state.IsAvailable(family));
  EXPECT_FALSE(state.HasValidFirmware());
}

TEST(UpdateRunState, ResetClearsTheRunButKeepsAvailableAndValidFlags) {
  UpdateRunState state;
  SetFlag(state.available[FamilyIndex(DeviceFamily::HLX700)]);
  SetFlag(state.available[FamilyIndex(DeviceFamily::TQ640)]);
  SetFlag(state.validFirmware);
  SetFlag(state.bootMatched[FamilyIndex(DeviceFamily::HLX700)]);
  SetFlag(state.selected[FamilyIndex(DeviceFamily::TQ640)]);
  state.deviceCode = Family(DeviceFamily::TQ640).deviceCode;
  ASSERT_EQ(state.GetDeviceCode(), 1);

  state.ResetRunState();

  ExpectRunFieldsClear(state);
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::HLX700));
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::TQ640));
  EXPECT_FALSE(state.IsAvailable(DeviceFamily::MV5100));
  EXPECT_TRUE(state.HasValidFirmware());
}

TEST(UpdateRunState, FirstSelectedFamilyFollowsExaminationOrder) {
  UpdateRunState state;
  SetFlag(state.selected[FamilyIndex(DeviceFamily::KII)]);
  EXPECT_EQ(state.FirstSelectedFamily(), DeviceFamily::KII);
  SetFlag(state.selected[FamilyIndex(DeviceFamily::MV5100)]);
  EXPECT_EQ(state.FirstSelectedFamily(), DeviceFamily::MV5100);
}

TEST(UpdateRunState, OnlyExactlyOneCountsAsSet) {
  UpdateRunState state;
  state.selected[FamilyIndex(DeviceFamily::HLX700)] = 2;
  state.validFirmware = 0xFF;
  EXPECT_FALSE(state.IsSelected(DeviceFamily::HLX700));
  EXPECT_EQ(state.FirstSelectedFamily(), std::nullopt);
  EXPECT_FALSE(state.HasValidFirmware());
}

}  // namespace
