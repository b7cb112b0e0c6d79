// The profile file: values read as the Windows profile API reads them (the
// same table runs against the API itself on Windows), a write that changes
// one line and keeps every other byte, and files that are never replaced.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::Profile;
using namespace std::string_literals;

constexpr int kDefault = 99;

// A line far longer than any buffer a reader might use.
std::string LongLine(char fill) { return std::string(std::size_t{4} << 20, fill); }

class ProfileTest : public ::testing::Test {
 protected:
  void WriteRaw(const std::string& content) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
  }
  std::string ReadRaw() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int Com() const { return Profile(path_).GetInt("Settings", "COM", kDefault); }
  // Everything in the profile's folder: nothing but the profile after a write.
  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  testing_support::TempFolder folder_;
  std::string path_ = (folder_.Path() / "sub" / "reflint.ini").string();
};

TEST_F(ProfileTest, ReadsValuesAsTheWindowsProfileApiDoes) {
  const struct {
    std::string content;
    int expected;
  } cases[] = {
      {"[Settings]\r\nCOM=7\r\n", 7},
      {"[settings]\ncom=7\n", 7},
      {" \t[ Settings ]  \n  COM  =\t7  \n", 7},
      {"; note\n# note\n[Settings]\n;COM=3\n#COM=2\nno pattern here\n]\n\nCOM=4\n", 4},
      {"[Settings]\rCOM=4\r", 4},
      {"[Settings]\nCOM=4", 4},
      {"\xEF\xBB\xBF[Settings]\nCOM=4\n", 4},
      {"[Settings] trailing text\nCOM=4\n", 4},
      {"[Settings]\nCOM=4\0garbage\n"s, 4},
      // The number: leading digits, a sign, the API's base prefixes, 32 bits.
      {"[Settings]\nCOM=12abc\n", 12},
      {"[Settings]\nCOM=7 ; port\n", 7},
      {"[Settings]\nCOM=+5\n", 5},
      {"[Settings]\nCOM=-5\n", -5},
      {"[Settings]\nCOM=- 5\n", 0},
      {"[Settings]\nCOM=0x1A\n", 26},
      {"[Settings]\nCOM=-0x10\n", -16},
      {"[Settings]\nCOM=0X1A\n", 0},
      {"[Settings]\nCOM=010\n", 10},
      {"[Settings]\nCOM=0o17\n", 15},
      {"[Settings]\nCOM=0b101\n", 5},
      {"[Settings]\nCOM=abc\n", 0},
      {"[Settings]\nCOM=4294967299\n", 3},
      {"[Settings]\nCOM=\"7\"\n", 7},
      {"[Settings]\nCOM='7'\n", 7},
      {"[Settings]\nCOM=\"7\n", 0},
      // Found but empty, or not found: the default.
      {"[Settings]\nCOM=\n", kDefault},
      {"[Settings]\nCOM=\"\"\n", kDefault},
      {"[Settings]\nCOM\n", kDefault},
      {"", kDefault},
      {"COM=4\n", kDefault},
      {"[Settings\nCOM=4\n", kDefault},
      {"[Other]\nCOM=4\n[Setting]\nCOM=4\n[Set tings]\nCOM=4\n", kDefault},
      {"[Settings]\nC OM=4\n", kDefault},
      // Only the first section of a name, and in it the first entry, count.
      {"[Settings]\n[Other]\nCOM=3\n[Settings]\nCOM=4\n", kDefault},
      {"[Settings]\nCOM=2\nCOM=4\n", 2},
      // Very long lines neither hide the entry nor spoil the file.
      {"[Settings]\n;" + LongLine('x') + "\nCOM=7\n", 7},
      {LongLine('[') + "\n[Settings]\n" + LongLine('=') + "\nCOM=7\n", 7},
      {"[Settings]\nCOM=7" + LongLine('x') + "\n", 7},
  };
  EXPECT_EQ(Com(), kDefault);  // no file at all
  for (const auto& c : cases) {
    WriteRaw(c.content);
    EXPECT_EQ(Com(), c.expected) << c.content.substr(0, 80);
  }
}

TEST_F(ProfileTest, WriteCreatesFolderAndFileAndReadsBack) {
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

TEST_F(ProfileTest, FailedWriteLeavesTheFileAlone) {
  WriteRaw("[Settings]\nCOM=4\n");
  // A file where the folder should be: nothing can be created beneath it.
  const std::string blocked = (fs::path(path_) / "x.ini").string();
  const auto written = Profile(blocked).WriteInt("Settings", "COM", 9);
  ASSERT_FALSE(written);
  // The step and the system's reason, under the file's name alone.
  EXPECT_TRUE(written.error().Describe().starts_with("x.ini: ")) << written.error().Describe();
  EXPECT_NE(written.error().code, 0);
  EXPECT_EQ(Com(), 4);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"reflint.ini"});
}

TEST(Profile, WithoutAPathNothingIsKept) {
  const auto written = Profile("").WriteInt("Settings", "COM", 3);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().Describe(), "the profile: no folder for the settings is known");
  EXPECT_EQ(Profile("").GetInt("Settings", "COM", 8), 8);
}

#if !defined(_WIN32)
// The Windows API rewrites the file by its own rules; ours keeps it.
TEST_F(ProfileTest, WriteChangesOnlyTheKeysLineAndKeepsThePermissions) {
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {"", "[Settings]\nCOM=5\n"},
      {"[Settings]\nCOM=2\n", "[Settings]\nCOM=5\n"},
      {"; keep\r\n[settings]\r\n  com = 2  \r\nOther=1\r\n",
       "; keep\r\n[settings]\r\n  com = 5  \r\nOther=1\r\n"},
      {"[Settings]\nCOM=\n", "[Settings]\nCOM=5\n"},
      {"[Settings]\nCOM=\"2\"\nCOM=3\n", "[Settings]\nCOM=5\nCOM=3\n"},
      {"[Settings]\nSpeed=9\n\n; the window\n[Window]\nLeft=1\n",
       "[Settings]\nSpeed=9\nCOM=5\n\n; the window\n[Window]\nLeft=1\n"},
      {"[Settings]", "[Settings]\nCOM=5\n"},
      {"[Settings]\nA=1\n[Other]\n[Settings]\nCOM=2\n",
       "[Settings]\nA=1\nCOM=5\n[Other]\n[Settings]\nCOM=2\n"},
      {"[Window]\nLeft=1", "[Window]\nLeft=1\n[Settings]\nCOM=5\n"},
      {"[Window]\r\nLeft=1\r\n", "[Window]\r\nLeft=1\r\n[Settings]\r\nCOM=5\r\n"},
      {"\xEF\xBB\xBF[Settings]\nCOM=2\n", "\xEF\xBB\xBF[Settings]\nCOM=5\n"},
      {"\xff\xfe\0junk\n[Settings]\nCOM=2\n"s, "\xff\xfe\0junk\n[Settings]\nCOM=5\n"s},
      {"[Settings]\n" + LongLine('x') + "\nCOM=2\n", "[Settings]\n" + LongLine('x') + "\nCOM=5\n"},
  };
  for (const auto& c : cases) {
    WriteRaw(c.before);
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    const auto written = Profile(path_).WriteInt("Settings", "COM", 5);
    ASSERT_TRUE(written) << written.error().Describe();
    EXPECT_EQ(ReadRaw(), c.after) << c.before.substr(0, 80);
    EXPECT_EQ(Com(), 5) << c.before.substr(0, 80);
    struct stat info {};
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"reflint.ini"});
  }
}

// What exists but cannot be read is never replaced: the write fails, and the
// read gives the default.
TEST_F(ProfileTest, FileThatCannotBeReadIsNeverReplaced) {
  fs::create_directories(fs::path(path_).parent_path());
  const struct {
    const char* what;
    void (*make)(const std::string& path);
  } cases[] = {
      {"a folder", [](const std::string& path) { fs::create_directory(path); }},
      {"a file beyond any profile's size",
       [](const std::string& path) {
         std::ofstream(path) << "[Settings]\nCOM=4\n";
         fs::resize_file(path, std::uintmax_t{65} << 20);
       }},
      {"a file without read permission",
       [](const std::string& path) {
         std::ofstream(path) << "[Settings]\nCOM=4\n";
         fs::permissions(path, fs::perms::owner_write);
       }},
  };
  for (const auto& c : cases) {
    if (std::string(c.what).find("permission") != std::string::npos && geteuid() == 0) continue;
    fs::remove_all(path_);
    c.make(path_);
    const auto before = fs::status(path_);
    const auto size = fs::is_regular_file(path_) ? fs::file_size(path_) : 0;
    const auto written = Profile(path_).WriteInt("Settings", "COM", 9);
    ASSERT_FALSE(written) << c.what;
    // The file's name, not its folders: the reason goes to the support log.
    const std::string error = written.error().Describe();
    EXPECT_TRUE(error.starts_with(fs::path(path_).filename().string() + ": "))
        << c.what << ": " << error;
    EXPECT_EQ(Com(), kDefault) << c.what;
    EXPECT_EQ(fs::status(path_).type(), before.type()) << c.what;
    EXPECT_EQ(fs::status(path_).permissions(), before.permissions()) << c.what;
    if (fs::is_regular_file(path_)) {
      EXPECT_EQ(fs::file_size(path_), size) << c.what;
    }
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"reflint.ini"}) << c.what;
  }
}
#endif

}  // namespace
