#include "identify/identification_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "identify/information_buffer.h"

namespace {

TEST(MatchesOemBootId, LooksOnlyRightAfterTheFirstOemMarker) {
  EXPECT_TRUE(MatchesOemBootId("Boot V1.0 OEM 35243 build 7", "35243"));
  EXPECT_TRUE(MatchesOemBootId("OEM 45323", "45323"));
  EXPECT_FALSE(MatchesOemBootId("OEM 3524", "35243")) << "only four characters follow";
  EXPECT_FALSE(MatchesOemBootId("OEM 45323 OEM 35243", "35243")) << "a second marker is ignored";
  EXPECT_FALSE(MatchesOemBootId("oem 35243", "35243"));
  EXPECT_FALSE(MatchesOemBootId("OEM35243", "35243"));
  EXPECT_FALSE(MatchesOemBootId("", "35243"));
}

TEST(MatchesOemBootId, BlankBootIdNeedsSixSpacesAfterOem) {
  EXPECT_TRUE(MatchesOemBootId("KII OEM      ", "     "));
  EXPECT_FALSE(MatchesOemBootId("KII OEM     ", "     ")) << "five spaces in a row are too few";
  EXPECT_FALSE(MatchesOemBootId("OEM    x ", "     "));
}

TEST(ContainsKey, IsCaseSensitiveSubstring) {
  EXPECT_TRUE(ContainsKey("Vantrel-TQ640-r2", "TQ640"));
  EXPECT_FALSE(ContainsKey("vantrel tq640", "TQ640"));
  EXPECT_FALSE(ContainsKey("", "KII"));
}

TEST(VersionFromApplicationText, SkipsFiveBytesAndTrimsWhiteSpace) {
  EXPECT_EQ(VersionFromApplicationText("APP:\x01"
                                       "2.1.3 \r\n"),
            "2.1.3");
  EXPECT_EQ(VersionFromApplicationText("ABCDE \t\v\f1.0 beta\n"), "1.0 beta");
  EXPECT_EQ(VersionFromApplicationText("ABCDE"), "");
  EXPECT_EQ(VersionFromApplicationText("AB"), "");
  EXPECT_EQ(VersionFromApplicationText("ABCDE \r\n "), "");
}

TEST(InformationBuffer, ReadsAtMostTheBufferWhenNoNulIsWritten) {
  InformationBuffer buffer;
  char* bytes = buffer.Cleared();
  std::fill(bytes, bytes + kInformationBufferSize, 'x');
  EXPECT_EQ(buffer.Text(), std::string(kInformationBufferSize, 'x'));
  // A full-length text plus its NUL must not overrun us either.
  std::fill(bytes, bytes + kInformationBufferSize, 'y');
  bytes[kInformationBufferSize] = '\0';
  EXPECT_EQ(buffer.Text().size(), static_cast<std::size_t>(kInformationBufferSize));
}

}  // namespace
