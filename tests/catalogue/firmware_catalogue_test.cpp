#include "catalogue/firmware_catalogue.h"

#include <gtest/gtest.h>

#include "catalogue/version_naming.h"
#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;

// A program "reflint" placed in a folder of the test's own.
class FirmwareCatalogueTest : public ::testing::Test {
 protected:
  void Scan() { catalogue.ScanFirmwareFiles((folder.Path() / "reflint").string()); }
  std::optional<std::string> VersionOf(DeviceFamily family) {
    return GetFirmwareVersionText(catalogue.GetFirmwarePath(family), catalogue.GetExeDirectory(),
                                  state);
  }

  TempFolder folder;
  FirmwareCatalogue catalogue;
  UpdateRunState state;
};

TEST_F(FirmwareCatalogueTest, StartsEmpty) {
  EXPECT_EQ(catalogue.GetExeDirectory(), "");
  for (DeviceFamily family : kExaminationOrder) EXPECT_EQ(catalogue.GetFirmwarePath(family), "");
}

TEST_F(FirmwareCatalogueTest, FindsOneFilePerFamilyBesideTheProgram) {
  folder.AddFile("HLX700_V_2_1_0.bin");
  folder.AddFile("MV5100U1S_V_3_05.bin");
  folder.AddFile("KII_V_2_3.BIN");  // extension in capitals
  folder.AddFile("README.txt");
  Scan();

  EXPECT_EQ(catalogue.GetExeDirectory(), folder.Text());
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::HLX700), folder.Text() + "HLX700_V_2_1_0.bin");
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::MV5100),
            folder.Text() + "MV5100U1S_V_3_05.bin");
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::TQ640), "");
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::KII), folder.Text() + "KII_V_2_3.BIN");

  MarkAvailableFamilies(catalogue, state);
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::HLX700));
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::MV5100));
  EXPECT_FALSE(state.IsAvailable(DeviceFamily::TQ640));
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::KII));

  EXPECT_EQ(VersionOf(DeviceFamily::HLX700), "2.1.0");
  EXPECT_EQ(VersionOf(DeviceFamily::MV5100), "3.05");
  EXPECT_EQ(VersionOf(DeviceFamily::KII), "2.3");
  EXPECT_TRUE(state.HasValidFirmware());
}

TEST_F(FirmwareCatalogueTest, AFamilyWithoutFileStaysUnavailableAndHasNoVersion) {
  Scan();
  MarkAvailableFamilies(catalogue, state);
  for (DeviceFamily family : kExaminationOrder) {
    EXPECT_FALSE(state.IsAvailable(family));
    EXPECT_EQ(VersionOf(family), std::nullopt);
  }
  EXPECT_FALSE(state.HasValidFirmware());
}

TEST_F(FirmwareCatalogueTest, OfTwoMatchingFilesTheFirstInNameOrderIsTaken) {
  folder.AddFile("TQ640_V_5.bin");
  folder.AddFile("TQ640_V_4.bin");
  Scan();
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::TQ640), folder.Text() + "TQ640_V_4.bin");
}

TEST_F(FirmwareCatalogueTest, AMatchingFolderMakesTheFamilyAvailableButNamesNoVersion) {
  folder.AddFolder("HLX700_V_2_0.bin");
  Scan();
  MarkAvailableFamilies(catalogue, state);
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::HLX700));
  EXPECT_EQ(VersionOf(DeviceFamily::HLX700), std::nullopt);
  EXPECT_FALSE(state.HasValidFirmware());
}

TEST_F(FirmwareCatalogueTest, ANameDifferingInCaseIsFoundButFailsThePrefixTest) {
  folder.AddFile("hlx700_V_2_0.bin");
  Scan();
  MarkAvailableFamilies(catalogue, state);
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::HLX700), folder.Text() + "hlx700_V_2_0.bin");
  EXPECT_TRUE(state.IsAvailable(DeviceFamily::HLX700));
  EXPECT_EQ(VersionOf(DeviceFamily::HLX700), std::nullopt);
  EXPECT_FALSE(state.HasValidFirmware());
}

TEST_F(FirmwareCatalogueTest, AFileDeletedAfterTheScanNamesNoVersion) {
  folder.AddFile("MV5100_V_1_2.bin");
  Scan();
  MarkAvailableFamilies(catalogue, state);
  std::filesystem::remove(catalogue.GetFirmwarePath(DeviceFamily::MV5100));
  EXPECT_EQ(VersionOf(DeviceFamily::MV5100), std::nullopt);
  EXPECT_FALSE(state.HasValidFirmware());
  // The catalogue is not refreshed: the path stays.
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::MV5100), folder.Text() + "MV5100_V_1_2.bin");
}

TEST_F(FirmwareCatalogueTest, AProgramPathWithoutFolderSearchesTheCurrentFolder) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  folder.AddFile("KII_V_1.bin");
  catalogue.ScanFirmwareFiles("reflint");
  std::filesystem::current_path(previous);

  EXPECT_EQ(catalogue.GetExeDirectory(), "");
  EXPECT_EQ(catalogue.GetFirmwarePath(DeviceFamily::KII), "KII_V_1.bin");
}

TEST_F(FirmwareCatalogueTest, TheRunningProgramsFolderIsItsOwn) {
  catalogue.ScanFirmwareFiles();
  const std::string directory = catalogue.GetExeDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_TRUE(std::filesystem::is_directory(directory));
  EXPECT_TRUE(directory.ends_with('/') || directory.ends_with('\\'));
}

}  // namespace
