#include "platform/support_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/log_file.h"
#include "support/temp_folder.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Two writers on one file (the program and its library), each from its own
// thread: the file stays below the cap, one older file is kept, and every
// line in either is whole.
TEST(SupportLog, StaysBelowItsCapWithOneOlderFileAndWholeLines) {
  testing_support::TempFolder folder;
  const std::string path = (folder.Path() / "sub" / "reflint.log").string();
  constexpr std::uintmax_t kCap = 8 * 1024;
  platform::SupportLog program(path, "reflint", kCap);
  platform::SupportLog library(path, "Kestra2G", kCap);
  auto writeMany = [](platform::SupportLog& log, const char* tag) {
    for (int i = 0; i < 400; ++i) log.Write(std::string(tag) + " line " + std::to_string(i));
  };
  std::thread a(writeMany, std::ref(program), "a");
  std::thread b(writeMany, std::ref(library), "b");
  a.join();
  b.join();

  const std::string older = platform::OlderLogPath(path);
  ASSERT_TRUE(std::filesystem::exists(older));
  EXPECT_LE(std::filesystem::file_size(path), kCap);
  EXPECT_LE(std::filesystem::file_size(older), kCap);
  EXPECT_GT(std::filesystem::file_size(older), kCap / 2);
  const std::regex whole(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}Z (reflint: a|Kestra2G: b) line \d+)");
  for (const std::string& file : {path, older}) {
    for (const std::string& line : Lines(file)) EXPECT_TRUE(std::regex_match(line, whole)) << line;
  }
  const auto newest = Lines(path);
  ASSERT_FALSE(newest.empty());
  EXPECT_TRUE(newest.back().ends_with(" line 399"));
  // Nothing older than the one older file is kept.
  EXPECT_FALSE(std::filesystem::exists(older + ".1"));
}

TEST(SupportLog, RepeatsOfOneKeyLeaveOneLineAndACount) {
  testing_support::TempFolder folder;
  const std::string path = (folder.Path() / "reflint.log").string();
  {
    platform::SupportLog log(path, "reflint");
    for (int i = 0; i < 5; ++i) log.Write("poll " + std::to_string(i) + " ms", "poll failed");
    log.Write("other\nline");
    log.Write("poll again", "poll failed");
    log.Write("poll again", "poll failed");
  }
  const auto lines = Lines(path);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with("reflint: poll 0 ms"));
  EXPECT_TRUE(lines[1].ends_with("reflint: (4 more times: poll failed)"));
  EXPECT_TRUE(lines[2].ends_with("reflint: other line"));
  EXPECT_TRUE(lines[3].ends_with("reflint: poll again"));
  EXPECT_TRUE(lines[4].ends_with("reflint: (1 more time: poll failed)"));
}

}  // namespace
