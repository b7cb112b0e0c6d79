// A failed call leaves its stage and cause in the support log: the C
// functions answer only 0, the log is where the reason goes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"
#include "platform/support_log.h"

namespace {

using k2gtest::kPort;
using k2gtest::Remote;

struct Case {
  const char* name;
  std::vector<std::string> emulatorArgs;  // empty: no device on the port
  int port;
  std::vector<std::string> expected;  // in the log's new lines
  friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class FailureLog : public ::testing::TestWithParam<Case> {};

TEST_P(FailureLog, NamesTheStageAndTheCause) {
  const Case& c = GetParam();
  const std::string firmware =
      k2gtest::WriteFirmware("HLX700_V_6_1_0.bin", 0, "HLX700", "6.1.0", 16 * 1024);
  std::unique_ptr<Remote> remote;
  if (!c.emulatorArgs.empty()) {
    remote = std::make_unique<Remote>(c.emulatorArgs);
    ASSERT_TRUE(remote->started());
  }
  const std::string log = platform::SupportLogPath();
  const auto before = std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;

  EXPECT_EQ(Qarnel_DownloadMOTCF(firmware.c_str(), c.port, 0), 0);
  const std::string text = k2gtest::ReadText(log).substr(before);
  for (const std::string& expected : c.expected) {
    EXPECT_NE(text.find(expected), std::string::npos) << "no \"" << expected << "\" in\n" << text;
  }
  // The firmware's folder may name the user; only the file's name is kept.
  EXPECT_EQ(text.find(std::filesystem::path(firmware).parent_path().string()), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureLog,
    ::testing::Values(
        Case{"DroppedLine",
             {"--state", "bootloader", "--fault", "disconnect:40"},
             kPort,
             {"Qarnel_DownloadMOTCF: HLX700_V_6_1_0.bin to COM3", "job: Writing",
              // a system error may follow, when the system gave one
              "failed in stage Writing: the line was dropped (data transfer"}},
        Case{"RefusedErase",
             {"--state", "bootloader", "--fault", "erase-error"},
             kPort,
             {"failed in stage Erasing: the device refused (erase, status 4 (flash error))"}},
        Case{"PortMissing",
             {},
             14,
             {"failed in stage Connecting: the port could not be opened (COM14",
              "No such file or directory, system error 2)"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
