#include "window/gtk/display_text.h"

#include <gtest/gtest.h>

#include "window/gtk/dialog_units.h"

namespace {

TEST(DisplayText, MnemonicsBecomeUnderscores) {
  EXPECT_EQ(MnemonicToGtk("&About..."), "_About...");
  EXPECT_EQ(MnemonicToGtk("Save && Quit"), "Save & Quit");
  EXPECT_EQ(MnemonicToGtk("snake_case"), "snake__case");
  EXPECT_EQ(MnemonicToGtk("trailing&"), "trailing");
  EXPECT_EQ(StripMnemonic("&Cancel"), "Cancel");
  EXPECT_EQ(StripMnemonic("A && B"), "A & B");
}

TEST(DisplayText, AnsiTextsBecomeUtf8) {
  EXPECT_EQ(ToDisplayUtf8("Version 2, 1, 3, 0"), "Version 2, 1, 3, 0");
  EXPECT_EQ(ToDisplayUtf8("caf\xC3\xA9"), "caf\xC3\xA9");  // already UTF-8
  EXPECT_EQ(ToDisplayUtf8("caf\xE9"), "caf\xC3\xA9");      // Windows-1252
  EXPECT_EQ(ToDisplayUtf8("\x80"), "\xE2\x82\xAC");        // the euro sign
  // A byte Windows-1252 leaves undefined still gives valid UTF-8.
  EXPECT_EQ(ToDisplayUtf8("a\x81"), "a\xC2\x81");
}

TEST(DialogUnits, ConvertLikeWindows) {
  EXPECT_EQ(AverageCharWidth(312), 6);  // 312 / 52 = 6
  EXPECT_EQ(AverageCharWidth(337), 6);  // 6.48 rounds down
  EXPECT_EQ(AverageCharWidth(339), 7);  // 6.52 rounds up
  const DialogBaseUnits base{6, 13};
  EXPECT_EQ(DialogUnitsToPixelsX(base, 205), 308);  // 307.5 rounds half up
  EXPECT_EQ(DialogUnitsToPixelsY(base, 255), 414);  // 414.375
  EXPECT_EQ(DialogUnitsToPixelsY(base, 1), 2);      // a line one unit high stays visible
  const PixelRect r = DialogRectToPixels(base, 7, 234, 131, 14);
  EXPECT_EQ(r.x, 11);
  EXPECT_EQ(r.y, 380);
  EXPECT_EQ(r.cx, 197);
  EXPECT_EQ(r.cy, 23);
  EXPECT_EQ(MulDiv(-3, 6, 4), -5);  // half away from zero
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

}  // namespace
