#include "platform/path_text.h"

#include <gtest/gtest.h>

#include "platform/exe_path.h"

namespace {

TEST(PathTextTest, JoinsWithOneSeparatorAndSplitsAtTheLast) {
  const std::string sep(1, platform::PathSeparator());
  EXPECT_EQ(platform::JoinPath("/opt/r", "a.bin"), "/opt/r" + sep + "a.bin");
  EXPECT_EQ(platform::JoinPath("/opt/r/", "a.bin"), "/opt/r/a.bin");
  EXPECT_EQ(platform::JoinPath("", "a.bin"), "a.bin");

  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {{"/opt/r/reflint", "/opt/r/", "reflint"},
               {"reflint", "", "reflint"},
               {"/opt/r/", "/opt/r/", ""},
               {"/reflint", "/", "reflint"}};
  for (const Case& c : cases) {
    EXPECT_EQ(platform::FolderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(platform::NamePart(c.path), c.name) << c.path;
  }
}

}  // namespace
