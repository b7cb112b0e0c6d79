#include "window/gtk/ico_image.h"

#include <gtest/gtest.h>

namespace {

// An ICO directory with entries of the given widths; each image is 4 bytes
// holding its width, so the test can see which one was picked.
std::vector<std::uint8_t> Ico(const std::vector<std::pair<int, int>>& widthAndDepth) {
  std::vector<std::uint8_t> out = {0, 0, 1, 0, static_cast<std::uint8_t>(widthAndDepth.size()), 0};
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * widthAndDepth.size());
  for (auto [width, depth] : widthAndDepth) {
    const std::uint8_t w = static_cast<std::uint8_t>(width == 256 ? 0 : width);
    out.insert(out.end(), {w, w, 0, 0, 1, 0, static_cast<std::uint8_t>(depth), 0, 4, 0, 0, 0});
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
    offset += 4;
  }
  for (auto [width, depth] : widthAndDepth)
    out.insert(out.end(),
               {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(depth), 0xAA, 0xBB});
  return out;
}

TEST(IcoImage, PicksTheNearestSizeAndWritesAOneImageIco) {
  const auto ico = Ico({{32, 4}, {16, 4}});
  const auto small = SelectIcoImage(ico, 16);
  ASSERT_EQ(small.size(), 6u + 16u + 4u);
  EXPECT_EQ(small[4], 1);    // one image
  EXPECT_EQ(small[6], 16);   // its width in the directory
  EXPECT_EQ(small[18], 22);  // data right after the directory
  EXPECT_EQ(small[22], 16);  // and the data is the 16 x 16 image's
  EXPECT_EQ(SelectIcoImage(ico, 32)[22], 32);
  EXPECT_EQ(SelectIcoImage(ico, 48)[22], 32);
}

TEST(IcoImage, PrefersDeeperColoursAtTheSameSize) {
  EXPECT_EQ(SelectIcoImage(Ico({{32, 4}, {32, 8}}), 32)[23], 8);
}

TEST(IcoImage, RejectsBrokenData) {
  EXPECT_TRUE(SelectIcoImage({}, 32).empty());
  auto ico = Ico({{32, 4}});
  ico[2] = 2;  // a cursor file, not an icon
  EXPECT_TRUE(SelectIcoImage(ico, 32).empty());
  auto truncated = Ico({{32, 4}});
  truncated.resize(truncated.size() - 1);  // image runs past the end
  EXPECT_TRUE(SelectIcoImage(truncated, 32).empty());
}

}  // namespace
