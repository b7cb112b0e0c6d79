// Version blocks: the layout we build is the one the walker (and Windows)
// reads; damaged blocks give no value instead of reading past their end.
#include "platform/version_block.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/version_block_format.h"

namespace {

using namespace platform::version_format;

constexpr std::array<StringEntry, 2> kStrings{{
    {"FileDescription", "Test"},
    {"ProductVersion", "2, 1, 3, 0"},
}};

std::vector<std::uint8_t> Block() {
  return BuildVersionBlock({2, 1, 3, 0}, "040904B0", kStrings, 0x0409, 0x04B0);
}

TEST(VersionBlock, FindsStringsByPathIgnoringCase) {
  const auto block = Block();
  EXPECT_EQ(block.size() % 4, 0u);
  EXPECT_EQ(block[0] | (block[1] << 8), static_cast<int>(block.size()));
  EXPECT_EQ(FindString(block, "\\StringFileInfo\\040904B0\\ProductVersion"), "2, 1, 3, 0");
  EXPECT_EQ(FindString(block, "\\stringfileinfo\\040904b0\\productversion"), "2, 1, 3, 0");
  EXPECT_EQ(FindString(block, "\\StringFileInfo\\040904B0\\FileDescription"), "Test");
  EXPECT_EQ(FindString(block, "\\StringFileInfo\\040704B0\\ProductVersion"), std::nullopt);
  EXPECT_EQ(FindString(block, "\\StringFileInfo\\040904B0\\CompanyName"), std::nullopt);
  EXPECT_EQ(FindString(block, "\\VarFileInfo\\Translation"), std::nullopt);  // not text
}

TEST(VersionBlock, TruncatedOrCorruptBlocksGiveNoValue) {
  const auto block = Block();
  for (std::size_t size = 0; size < block.size(); ++size) {
    std::vector<std::uint8_t> cut(block.begin(), block.begin() + size);
    // The root still claims its full length, so nothing fits.
    EXPECT_EQ(FindString(cut, "\\StringFileInfo\\040904B0\\ProductVersion"), std::nullopt) << size;
  }
  auto corrupt = block;
  for (std::size_t at = 0; at < corrupt.size(); at += 2) {
    auto copy = corrupt;
    copy[at] = 0xFF;
    copy[at + 1] = 0xFF;
    FindString(copy, "\\StringFileInfo\\040904B0\\ProductVersion");  // must not crash
  }
}

TEST(VersionBlock, FilesWithoutABlockGiveNone) {
  EXPECT_TRUE(platform::ReadVersionBlock("/nonexistent/reflint").empty());
  const std::string text = testing::TempDir() + "not-an-executable";
  std::ofstream(text) << "hello";
  EXPECT_TRUE(platform::ReadVersionBlock(text).empty());
}

}  // namespace
