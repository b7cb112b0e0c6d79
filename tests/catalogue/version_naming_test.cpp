#include "catalogue/version_naming.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;

void MakeAllAvailable(UpdateRunState& state) {
  for (RunFlag& flag : state.available) SetFlag(flag);
}

TEST(GetFirmwareVersionText, WorkedExamples) {
  struct Example {
    const char* fileName;
    std::optional<std::string_view> version;  // none: no version can be named
    bool setsValidFlag;
  };
  const Example examples[] = {
      {"HLX700_V_2_1_0.bin", "2.1.0", true},
      {"MV5100U1S_V_3_05.bin", "3.05", true},
      {"KII_V_1_0_2.bin", "1.0.2", true},
      {"TQ640_V_4.bin", "4", true},
      {"MV5100_V_1_2_3_beta.bin", "1.2.3.beta", true},
      {"HLX700_V_1.0.bin", "1.0", true},
      {"KII_V_2_3.BIN", "2.3", true},
      {"HLX700_DEV_1.bin", "1", true},
      {"HLX700V_.bin", "", true},
      {"TQ640.bin", std::nullopt, false},
      {"KII_v_1_0.bin", std::nullopt, false},
      {"hlx700_V_2_0.bin", std::nullopt, false},
  };
  for (const Example& example : examples) {
    TempFolder folder;
    const std::string path = folder.AddFile(example.fileName);
    UpdateRunState state;
    MakeAllAvailable(state);
    EXPECT_EQ(GetFirmwareVersionText(path, folder.Text(), state), example.version)
        << example.fileName;
    EXPECT_EQ(state.HasValidFirmware(), example.setsValidFlag) << example.fileName;
  }
}

TEST(GetFirmwareVersionText, NeverClearsTheValidFlagAndChecksTheFileEachTime) {
  TempFolder folder;
  const std::string good = folder.AddFile("TQ640_V_4.bin");
  const std::string bad = folder.AddFile("TQ640.bin");
  UpdateRunState state;
  MakeAllAvailable(state);
  EXPECT_EQ(GetFirmwareVersionText(good, folder.Text(), state), "4");
  EXPECT_EQ(GetFirmwareVersionText(bad, folder.Text(), state), std::nullopt);
  EXPECT_TRUE(state.HasValidFirmware());

  std::filesystem::remove(good);
  EXPECT_EQ(GetFirmwareVersionText(good, folder.Text(), state), std::nullopt);
}

TEST(GetFirmwareVersionText, NoVersionWithoutAnAvailableFamilyOrAFile) {
  TempFolder folder;
  const std::string path = folder.AddFile("HLX700_V_2_1_0.bin");
  UpdateRunState state;
  EXPECT_EQ(GetFirmwareVersionText(path, folder.Text(), state), std::nullopt);
  MakeAllAvailable(state);
  EXPECT_EQ(GetFirmwareVersionText("", folder.Text(), state), std::nullopt);
  // A path no longer than the folder leaves no file name.
  EXPECT_EQ(GetFirmwareVersionText(path, path, state), std::nullopt);
  EXPECT_FALSE(state.HasValidFirmware());
}

TEST(HasAcceptedPrefix, ComparesEachPrefixOfEveryAvailableFamilyWithCase) {
  UpdateRunState state;
  EXPECT_FALSE(HasAcceptedPrefix("MV5100_V_1.bin", state));

  SetFlag(state.available[FamilyIndex(DeviceFamily::MV5100)]);
  EXPECT_TRUE(HasAcceptedPrefix("MV5100A_V_1.bin", state));
  EXPECT_TRUE(HasAcceptedPrefix("MV5100U1S_V_1.bin", state));
  EXPECT_TRUE(HasAcceptedPrefix("MV5100", state));
  EXPECT_FALSE(HasAcceptedPrefix("MV510X_V_1.bin", state));
  EXPECT_FALSE(HasAcceptedPrefix("MV510", state));
  EXPECT_FALSE(HasAcceptedPrefix("mv5100_V_1.bin", state));
  EXPECT_FALSE(HasAcceptedPrefix("", state));
  // Families without firmware accept nothing.
  EXPECT_FALSE(HasAcceptedPrefix("HLX700_V_1.bin", state));

  // A name is accepted by any available family, not only its own.
  SetFlag(state.available[FamilyIndex(DeviceFamily::KII)]);
  EXPECT_TRUE(HasAcceptedPrefix("KII_V_1.bin", state));
  EXPECT_TRUE(HasAcceptedPrefix("MV5100_V_1.bin", state));
}

TEST(MarkAvailableFamilies, NeverClearsAFlag) {
  FirmwareCatalogue empty;
  UpdateRunState state;
  SetFlag(state.available[FamilyIndex(DeviceFamily::TQ640)]);
  MarkAvailableFamilies(empty, state);
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::TQ640));
  EXPECT_FALSE(state.IsAvailable(DeviceFamily::HLX700));
}

// The order --allow-older is asked by: numbers as numbers, never as text.
TEST(CompareVersions, PartByPart) {
  struct Pair {
    const char* older;
    const char* newer;
  };
  const Pair pairs[] = {
      {"1.0.0", "2.1.0"}, {"2.9.0", "2.10.0"},     {"9.9", "10.0"},           {"3.05", "3.6"},
      {"2.1", "2.1.1"},   {"1.2.3", "1.2.3.beta"}, {"1.2.alpha", "1.2.beta"}, {"4", "4.0.1"},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(CompareVersions(p.older, p.newer), std::strong_ordering::less) << p.older;
    EXPECT_EQ(CompareVersions(p.newer, p.older), std::strong_ordering::greater) << p.newer;
  }
  for (const auto& [a, b] : {std::pair{"3.05", "3.5"}, {"2.1", "2.1.0"}, {"1.0.2", "1.0.2"}})
    EXPECT_EQ(CompareVersions(a, b), std::strong_ordering::equal) << a << " " << b;
}

}  // namespace
