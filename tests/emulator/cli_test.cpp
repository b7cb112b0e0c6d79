// remote-emulator as a program: help, bad options, the link and a clean end.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "emulator/launcher/emulator_process.h"

namespace {

std::string RunEmulator(const std::string& args, int* status) {
  std::string out;
  FILE* p = popen((std::string(REMOTE_EMULATOR_PATH) + " " + args + " 2>&1").c_str(), "r");
  char buf[512];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out += buf;
  *status = p != nullptr ? pclose(p) : -1;
  return out;
}

TEST(EmulatorCli, HelpNamesEveryOption) {
  int status = -1;
  const std::string help = RunEmulator("--help", &status);
  EXPECT_EQ(status, 0);
  for (const char* option :
       {"--family", "--state", "--app-version", "--boot-text", "--product-text", "--app-text",
        "--no-answer", "--reset-after-ms", "--flash-size", "--image-out", "--initial-image",
        "--baud", "--turnaround-ms", "--flash-write-ms-per-kb", "--fault", "--seed", "--link",
        "--log", "--catch-window-ms"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(EmulatorCli, BadOptionsAreRefusedWithAMessage) {
  int status = -1;
  EXPECT_NE(RunEmulator("--family XYZ", &status).find("--family"), std::string::npos);
  EXPECT_NE(status, 0);
  EXPECT_NE(RunEmulator("--fault melt:3", &status).find("unknown fault"), std::string::npos);
  EXPECT_NE(status, 0);
  EXPECT_NE(RunEmulator("--initial-image /no/such/file", &status).find("cannot read"),
            std::string::npos);
  EXPECT_NE(status, 0);
}

TEST(EmulatorCli, LinksTheSlaveAndRemovesTheLinkOnSigterm) {
  const std::string link = emulator::ComLinkPath(4);
  auto started = emulator::EmulatorProcess::Start(REMOTE_EMULATOR_PATH, {"--link", link});
  ASSERT_TRUE(started) << started.error().Describe();
  const auto& process = *started;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), process->slavePath());
  EXPECT_EQ(process->Stop(), 0);
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

}  // namespace
