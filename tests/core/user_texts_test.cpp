#include "core/user_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(UserTexts, EveryCodeHasAText) {
  for (int code = 0; code <= static_cast<int>(UserText::WindowsNotSetUp); ++code)
    EXPECT_FALSE(UserTextOf(static_cast<UserText>(code)).empty()) << "code " << code;
}

TEST(UserTexts, WithFillsOnlyTheFirstSlotAndLeavesPercentInTheValue) {
  EXPECT_EQ(UserTextWith(UserText::BootIdQuestion, "50%s"),
            "Are you sure the device connected to the PC is a 50%s?");
  EXPECT_EQ(UserTextWith(UserText::DeviceVersionFormat, "1.0"),
            "Application:\t\tVersion 1.0\nConfiguration file:\t%s");
  EXPECT_EQ(UserTextWith(UserText::NoPorts, "x"), "No ports found");
}

}  // namespace
