// The executable's path while the file it was started from is replaced, as
// an update of the installed program does.
#include "platform/exe_path.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kChildVariable = "REFLINT_REPLACED_EXE";

// Run only by the test below, in a copy of this program.
TEST(ExecutablePath, DISABLED_StaysTheSameAfterTheFileWasReplaced) {
  const char* path = std::getenv(kChildVariable);
  ASSERT_NE(path, nullptr);
  ASSERT_EQ(platform::ExecutablePath(), path);
  fs::remove(path);
  std::ofstream(path) << "the next version";
  EXPECT_EQ(platform::ExecutablePath(), path);
  EXPECT_EQ(platform::ExecutableBaseName(), "reflint");
}

TEST(ExecutablePath, StaysTheSameAfterTheFileWasReplacedOrRemoved) {
  testing_support::TempFolder folder;
  const fs::path copy = folder.Path() / "reflint";
  fs::copy_file(platform::ExecutablePath(), copy);
  const std::string command =
      std::string(kChildVariable) + "='" + copy.string() + "' '" + copy.string() +
      "' --gtest_also_run_disabled_tests"
      " --gtest_filter=ExecutablePath.DISABLED_StaysTheSameAfterTheFileWasReplaced 2>&1";
  FILE* child = popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, child) != nullptr) output += buffer;
  const int status = pclose(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
