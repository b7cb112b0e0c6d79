#include "platform/port_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(PortScan, ProbesCom1To15InOrderAndKeepsThoseThatOpen) {
  std::vector<int> probed;
  const CPortScan scan([&](int n) {
    probed.push_back(n);
    return n == 3 || n == 5 || n == 15;
  });
  EXPECT_THAT(probed, ::testing::ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  ASSERT_EQ(scan.GetCount(), 3);
  EXPECT_EQ(scan.GetAt(0), 3);
  EXPECT_EQ(scan.GetAt(2), 15);
  EXPECT_EQ(scan.GetAt(3), 0);
  EXPECT_EQ(scan.GetAt(-1), 0);
  EXPECT_EQ(CPortScan([](int) { return false; }).GetCount(), 0);
}

}  // namespace
