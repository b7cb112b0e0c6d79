#include "platform/folder_search.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;

TEST(WildcardMatch, FollowsWindowsRules) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"HLX700*.bin", "HLX700_V_2_1_0.bin", true},
      {"HLX700*.bin", "HLX700.bin", true},  // '*' may match nothing
      {"HLX700*.bin", "hlx700_v_2.BIN", true},
      {"HLX700*.bin", "HLX70_V_2.bin", false},
      {"HLX700*.bin", "HLX700_V_2.bin.old", false},
      {"HLX700*.bin", "xHLX700.bin", false},
      {"KII*.bin", "KII*.bin", true},
      {"*.bin", ".bin", true},
      {"*.bin", "a.bin1", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      {"?", "", false},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "axxbyybzc", true},
      {"a*b*c", "axxbyy", false},
      {"**x", "x", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::WildcardMatch(c.mask, c.name), c.matches) << c.mask << " / " << c.name;
}

TEST(FindFirstMatch, TakesTheFirstMatchInByteOrderWhateverTheCreationOrder) {
  TempFolder folder;
  folder.AddFile("HLX700_V_2.bin");
  folder.AddFile("hlx700_a.bin");  // lower case sorts after upper case
  folder.AddFile("HLX700_V_1.bin");
  folder.AddFile("TQ640_V_1.bin");
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "HLX700*.bin"),
            folder.Text() + "HLX700_V_1.bin");
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "hlx700_?.bin"),
            folder.Text() + "hlx700_a.bin");
}

TEST(FindFirstMatch, FoldersAndHiddenEntriesCount) {
  TempFolder folder;
  folder.AddFolder("KII_V_1.bin");
  folder.AddFile(".hidden.bin");
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "KII*.bin"), folder.Text() + "KII_V_1.bin");
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "*.bin"), folder.Text() + ".hidden.bin");
}

TEST(FindFirstMatch, NothingWhenNoEntryMatchesOrTheFolderIsMissing) {
  TempFolder folder;
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "*"), std::nullopt);
  folder.AddFile("MV5100.txt");
  EXPECT_EQ(platform::FindFirstMatch(folder.Text() + "MV5100*.bin"), std::nullopt);
  EXPECT_EQ(platform::FindFirstMatch((folder.Path() / "missing" / "MV5100*.bin").string()),
            std::nullopt);
}

}  // namespace
