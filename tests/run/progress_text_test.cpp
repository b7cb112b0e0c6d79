#include "run/progress_text.h"

#include <gtest/gtest.h>

#include <limits>

TEST(ProgressTextTest, NumberAsReportedThenSpaceAndPercentSign) {
  EXPECT_EQ(FormatProgressText(0), "0 %");
  EXPECT_EQ(FormatProgressText(100), "100 %");
  EXPECT_EQ(FormatProgressText(-5), "-5 %");
  EXPECT_EQ(FormatProgressText(250), "250 %");
  EXPECT_EQ(FormatProgressText(std::numeric_limits<std::int32_t>::min()), "-2147483648 %");
}
