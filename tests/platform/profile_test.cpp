// The profile file: round trips, damaged files and values read as the
// default and are repaired by the next write, a failed write keeps the file.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using platform::ParseProfileInt;
using platform::Profile;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("reflint-profile-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    path_ = (folder_ / "sub" / "reflint.ini").string();
  }
  void TearDown() override { fs::remove_all(folder_); }
  void WriteRaw(const std::string& content) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << content;
  }
  std::string ReadRaw() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int Com() const { return Profile(path_).GetInt("Settings", "COM", 0); }

  fs::path folder_;
  std::string path_;
};

TEST_F(ProfileTest, WriteCreatesFolderAndFileAndReadsBack) {
  EXPECT_EQ(Com(), 0);
  Profile profile(path_);
  ASSERT_TRUE(profile.WriteInt("Settings", "COM", 12));
  EXPECT_EQ(Com(), 12);
  EXPECT_NE(ReadRaw().find("[Settings]"), std::string::npos);
  EXPECT_NE(ReadRaw().find("COM=12"), std::string::npos);
  ASSERT_TRUE(profile.WriteInt("Settings", "COM", 3));
  EXPECT_EQ(Com(), 3);
  EXPECT_EQ(profile.GetInt("Settings", "Other", 7), 7);
}

TEST_F(ProfileTest, OtherEntriesSurviveAWrite) {
  WriteRaw("# kept\n[Window]\nLeft=40\n[Settings]\nCOM=2\nSpeed=9\n");
  ASSERT_TRUE(Profile(path_).WriteInt("Settings", "COM", 5));
  EXPECT_EQ(Com(), 5);
  EXPECT_EQ(Profile(path_).GetInt("Window", "Left", 0), 40);
  EXPECT_EQ(Profile(path_).GetInt("Settings", "Speed", 0), 9);
  EXPECT_NE(ReadRaw().find("# kept"), std::string::npos);
}

TEST_F(ProfileTest, DamagedFilesAndValuesReadAsZeroAndAreRepaired) {
  for (const char* content :
       {"", "\xff\xfe\x00garbage", "[Settings\nCOM=4\n", "COM=4\n", "[Settings]\nCOM=abc\n",
        "[Settings]\nCOM=12abc\n", "[Settings]\nCOM=99999999999\n", "[Settings]\nCOM=\n"}) {
    WriteRaw(std::string(content, content[0] == '\xff' ? 10 : std::strlen(content)));
    EXPECT_EQ(Com(), 0) << content;
    ASSERT_TRUE(Profile(path_).WriteInt("Settings", "COM", 6)) << content;
    EXPECT_EQ(Com(), 6) << content;
  }
}

TEST_F(ProfileTest, FailedWriteLeavesTheFileAlone) {
  WriteRaw("[Settings]\nCOM=4\n");
  // A file where the folder should be: nothing can be created beneath it.
  const std::string blocked = (folder_ / "sub" / "reflint.ini" / "x.ini").string();
  EXPECT_FALSE(Profile(blocked).WriteInt("Settings", "COM", 9));
  EXPECT_EQ(Com(), 4);
  // No temporary files are left beside the profile.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "sub"), fs::directory_iterator()), 1);
}

TEST(ParseProfileInt, AcceptsOnlyWholeDecimal32BitNumbers) {
  EXPECT_EQ(ParseProfileInt("15"), 15);
  EXPECT_EQ(ParseProfileInt("  7 \r\n"), 7);
  EXPECT_EQ(ParseProfileInt("+3"), 3);
  EXPECT_EQ(ParseProfileInt("-2"), -2);
  EXPECT_EQ(ParseProfileInt("2147483647"), 2147483647);
  EXPECT_EQ(ParseProfileInt("2147483648"), std::nullopt);
  EXPECT_EQ(ParseProfileInt(""), std::nullopt);
  EXPECT_EQ(ParseProfileInt("++3"), std::nullopt);
  EXPECT_EQ(ParseProfileInt("3 4"), std::nullopt);
  EXPECT_EQ(ParseProfileInt("0x10"), std::nullopt);
}

}  // namespace
