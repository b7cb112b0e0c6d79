// The resources built into the program: what the backends rely on when they
// decode them (ICO directory and bitmaps, AVI headers and frames).
#include "ui/program_resources.h"

#include <gtest/gtest.h>

#include <string_view>

#include "ui/resource_ids.h"
#include "window/resources.h"

namespace {

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::string_view FourCc(std::span<const std::uint8_t> b, std::size_t at) {
  return {reinterpret_cast<const char*>(b.data() + at), 4};
}

// Offset of the first chunk named fourcc at or after from; npos when none.
std::size_t Find(std::span<const std::uint8_t> b, std::string_view fourcc, std::size_t from = 0) {
  for (std::size_t at = from; at + 4 <= b.size(); ++at) {
    if (FourCc(b, at) == fourcc) return at;
  }
  return std::string_view::npos;
}

struct IconImage {
  int width, height, bitCount;
};

std::vector<IconImage> IconImages(std::span<const std::uint8_t> ico) {
  std::vector<IconImage> images;
  if (ico.size() < 6 || U16(ico, 0) != 0 || U16(ico, 2) != 1) return images;
  for (int i = 0; i < U16(ico, 4); ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint32_t size = U32(ico, entry + 8);
    const std::uint32_t offset = U32(ico, entry + 12);
    if (offset + size > ico.size() || U32(ico, offset) != 40) return {};
    images.push_back({static_cast<int>(U32(ico, offset + 4)),
                      static_cast<int>(U32(ico, offset + 8)) / 2, U16(ico, offset + 14)});
  }
  return images;
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override { InstallProgramResources(); }
};

TEST_F(ProgramResources, IconsAre16ColourImagesOfTheirSizes) {
  const auto app = IconImages(LoadIconResource(IDR_MAINFRAME));
  ASSERT_EQ(app.size(), 2u);
  EXPECT_EQ(app[0].width, 32);
  EXPECT_EQ(app[0].height, 32);
  EXPECT_EQ(app[1].width, 16);
  EXPECT_EQ(app[1].height, 16);
  const auto warning = IconImages(LoadIconResource(IDI_WARNING_ICON));
  ASSERT_EQ(warning.size(), 1u);
  EXPECT_EQ(warning[0].width, 32);
  for (const auto& image : {app[0], app[1], warning[0]}) EXPECT_EQ(image.bitCount, 4);
  EXPECT_TRUE(LoadIconResource(130).empty());
}

TEST_F(ProgramResources, ClipIsFourUncompressedPaletteFramesOnMagenta) {
  const auto avi = LoadAviResource(IDR_TRANSFER_AVI);
  ASSERT_GT(avi.size(), 12u);
  EXPECT_EQ(FourCc(avi, 0), "RIFF");
  EXPECT_EQ(U32(avi, 4) + 8, avi.size());
  EXPECT_EQ(FourCc(avi, 8), "AVI ");

  const std::size_t avih = Find(avi, "avih");
  ASSERT_NE(avih, std::string_view::npos);
  EXPECT_EQ(U32(avi, avih + 8), 500000u);  // microseconds per frame
  EXPECT_EQ(U32(avi, avih + 8 + 16), 4u);  // frames
  EXPECT_EQ(U32(avi, avih + 8 + 32), 250u);
  EXPECT_EQ(U32(avi, avih + 8 + 36), 50u);

  const std::size_t strf = Find(avi, "strf");
  ASSERT_NE(strf, std::string_view::npos);
  const std::size_t bitmap = strf + 8;
  EXPECT_EQ(U16(avi, bitmap + 14), 8);   // bits per pixel
  EXPECT_EQ(U32(avi, bitmap + 16), 0u);  // uncompressed
  const std::size_t palette = bitmap + 40;

  int frames = 0;
  for (std::size_t at = Find(avi, "00db"); at != std::string_view::npos;
       at = Find(avi, "00db", at + 8 + U32(avi, at + 4))) {
    if (at > Find(avi, "idx1")) break;
    ++frames;
    EXPECT_EQ(U32(avi, at + 4), 252u * 50u);
    // The corner pixel is the background: magenta.
    const std::uint8_t corner = avi[at + 8];
    EXPECT_EQ(avi[palette + 4 * corner + 2], 255);  // red
    EXPECT_EQ(avi[palette + 4 * corner + 1], 0);    // green
    EXPECT_EQ(avi[palette + 4 * corner + 0], 255);  // blue
  }
  EXPECT_EQ(frames, 4);
}

TEST_F(ProgramResources, AboutEntryString) {
  EXPECT_EQ(LoadStringResource(IDS_ABOUTBOX), "&About...");
  EXPECT_EQ(LoadStringResource(102), "");
}

}  // namespace
