#include "window/gtk/avi_clip.h"

#include <gtest/gtest.h>

#include "window/gtk/avi_builder.h"

namespace {

constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr std::uint32_t kGreen = 0x00C000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

AviSpec TwoFrameClip() {
  AviSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.palette = {kMagenta, kGreen, kWhite};
  // Stored bottom-up: the first stored row is the bottom one.
  spec.frames = {{1, 1, 1, /* top: */ 0, 2, 0}, {2, 2, 2, 1, 1, 1}};
  return spec;
}

std::array<std::uint8_t, 4> Pixel(const AviClip& clip, int frame, int x, int y) {
  const auto& rgba = clip.frames[static_cast<std::size_t>(frame)];
  const std::size_t at = (static_cast<std::size_t>(y) * clip.width + x) * 4;
  return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

TEST(AviClip, ReadsFramesTopDownWithPaletteAndMagentaTransparent) {
  const auto clip = ParseAviClip(AviBuilder::Build(TwoFrameClip()), true);
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->width, 3);
  EXPECT_EQ(clip->height, 2);
  ASSERT_EQ(clip->frames.size(), 2u);
  EXPECT_EQ(clip->frameMs, 500u);  // rate 2 per scale 1
  // Top row of frame 0: magenta, white, magenta.
  EXPECT_EQ(Pixel(*clip, 0, 0, 0), (std::array<std::uint8_t, 4>{255, 0, 255, 0}));
  EXPECT_EQ(Pixel(*clip, 0, 1, 0), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(*clip, 0, 2, 1), (std::array<std::uint8_t, 4>{0, 0xC0, 0, 255}));
  EXPECT_EQ(Pixel(*clip, 1, 0, 0), (std::array<std::uint8_t, 4>{0, 0xC0, 0, 255}));
}

TEST(AviClip, MagentaIsOpaqueWithoutTransparency) {
  const auto clip = ParseAviClip(AviBuilder::Build(TwoFrameClip()), false);
  ASSERT_TRUE(clip);
  EXPECT_EQ(Pixel(*clip, 0, 0, 0)[3], 255);
}

TEST(AviClip, TopDownClipAndRowPadding) {
  AviSpec spec = TwoFrameClip();
  spec.width = 5;  // rows padded to 8 bytes
  spec.height = -1;
  spec.frames = {{0, 1, 2, 1, 0}};
  const auto clip = ParseAviClip(AviBuilder::Build(spec), true);
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->height, 1);
  EXPECT_EQ(Pixel(*clip, 0, 2, 0), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(*clip, 0, 4, 0)[3], 0);
}

TEST(AviClip, FramePeriodFromScaleAndRate) {
  AviSpec spec = TwoFrameClip();
  spec.scale = 1;
  spec.rate = 15;
  const auto clip = ParseAviClip(AviBuilder::Build(spec), true);
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->frameMs, 67u);
}

TEST(AviClip, RejectsWhatItCannotPlay) {
  AviSpec compressed = TwoFrameClip();
  compressed.compression = 1;  // RLE8
  EXPECT_FALSE(ParseAviClip(AviBuilder::Build(compressed), true));

  AviSpec noFrames = TwoFrameClip();
  noFrames.frames.clear();
  EXPECT_FALSE(ParseAviClip(AviBuilder::Build(noFrames), true));

  const std::vector<std::uint8_t> good = AviBuilder::Build(TwoFrameClip());
  for (std::size_t cut : {std::size_t{0}, std::size_t{11}, good.size() / 2, good.size() - 1}) {
    std::vector<std::uint8_t> shortened(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_FALSE(ParseAviClip(shortened, true)) << "cut at " << cut;
  }

  std::vector<std::uint8_t> notAvi = good;
  notAvi[8] = 'W';
  EXPECT_FALSE(ParseAviClip(notAvi, true));
}

TEST(AviClip, FrameShorterThanImageIsRejected) {
  std::vector<std::uint8_t> data = AviBuilder::Build(TwoFrameClip());
  // Shrink the last frame chunk's size field: it then claims fewer bytes than
  // one image needs (the RIFF and list sizes still cover the bytes).
  for (std::size_t at = data.size() - 8; at > 0; --at) {
    if (std::equal(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at) + 4,
                   "00db")) {
      data[at + 4] = 4;
      break;
    }
  }
  EXPECT_FALSE(ParseAviClip(data, true));
}

}  // namespace
