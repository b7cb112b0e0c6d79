#include "core/device_family.h"

#include <gtest/gtest.h>

#include <set>

TEST(DeviceFamilyTable, RowsFollowExaminationOrderWithDistinctCodes) {
  std::set<std::int32_t> codes;
  for (int i = 0; i < kFamilyCount; ++i) {
    EXPECT_EQ(kFamilies[i].family, kExaminationOrder[i]);
    EXPECT_EQ(FamilyIndex(kFamilies[i].family), i);
    EXPECT_EQ(kFamilies[i].bootId.size(), 5u);
    codes.insert(kFamilies[i].deviceCode);
  }
  EXPECT_EQ(codes, (std::set<std::int32_t>{0, 1, 2, 3}));
  // The device library numbers TQ640 before MV5100.
  EXPECT_EQ(Family(DeviceFamily::TQ640).deviceCode, 1);
  EXPECT_EQ(Family(DeviceFamily::MV5100).deviceCode, 2);
}

TEST(DeviceFamilyTable, DisplayNameLookupIgnoresCaseButNeedsTheWholeName) {
  EXPECT_EQ(FamilyFromDisplayName("kestra ii"), DeviceFamily::KII);
  EXPECT_EQ(FamilyFromDisplayName("KESTRA II"), DeviceFamily::KII);
  EXPECT_EQ(FamilyFromDisplayName("hlx700"), DeviceFamily::HLX700);
  EXPECT_EQ(FamilyFromDisplayName("Tq640"), DeviceFamily::TQ640);
  EXPECT_EQ(FamilyFromDisplayName("MV5100"), DeviceFamily::MV5100);
  EXPECT_EQ(FamilyFromDisplayName("KII"), std::nullopt);
  EXPECT_EQ(FamilyFromDisplayName("Kestra"), std::nullopt);
  EXPECT_EQ(FamilyFromDisplayName("Kestra II "), std::nullopt);
  EXPECT_EQ(FamilyFromDisplayName(""), std::nullopt);
}

TEST(DeviceFamilyTable, BootIdLookupReturnsEveryFamilyInExaminationOrder) {
  EXPECT_EQ(FamiliesWithBootId("35243"),
            (std::vector<DeviceFamily>{DeviceFamily::HLX700, DeviceFamily::TQ640}));
  EXPECT_EQ(FamiliesWithBootId("45323"), (std::vector<DeviceFamily>{DeviceFamily::MV5100}));
  EXPECT_EQ(FamiliesWithBootId("     "), (std::vector<DeviceFamily>{DeviceFamily::KII}));
  EXPECT_TRUE(FamiliesWithBootId("3524").empty());
  EXPECT_TRUE(FamiliesWithBootId("").empty());
}

TEST(DeviceFamilyTable, DeviceCodeLookup) {
  EXPECT_EQ(FamilyFromDeviceCode(0), DeviceFamily::HLX700);
  EXPECT_EQ(FamilyFromDeviceCode(1), DeviceFamily::TQ640);
  EXPECT_EQ(FamilyFromDeviceCode(3), DeviceFamily::KII);
  EXPECT_EQ(FamilyFromDeviceCode(kNoDeviceCode), std::nullopt);
  EXPECT_EQ(FamilyFromDeviceCode(4), std::nullopt);
}
