// Every way to call reflint-cli wrongly, with the message and exit code the
// caller gets, and the few calls that must parse.
#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "cli/options.h"

namespace {

struct Case {
  std::vector<std::string> args;
  int exitCode;
  std::string inText;  // must occur in the text printed
};

TEST(CliArguments, WrongCallsSayWhyAndExitWithUsage) {
  const std::vector<Case> cases = {
      {{}, kExitUsage, "A subcommand is required"},
      {{"flash"}, kExitUsage, "unknown command 'flash'"},
      {{"update"}, kExitUsage, "update: name the port with --port N"},
      {{"update", "--port"}, kExitUsage, "--port"},
      {{"update", "--port", "x", "--yes"}, kExitUsage, "'x' is not a port number"},
      {{"update", "--port", "0"}, kExitUsage, "'0' is not a port number"},
      {{"update", "--port", "257"}, kExitUsage, "'257' is not a port number"},
      {{"update", "--port", "9-7", "--yes"}, kExitUsage, "'9-7' is not a port number"},
      {{"update", "--port", "3,,4", "--yes"}, kExitUsage, "'' is not a port number"},
      {{"update", "--port", "3-", "--yes"}, kExitUsage, "'3-' is not a port number"},
      {{"update", "--port", "3,4"}, kExitUsage, "several remotes at once need --yes"},
      {{"update", "--all-ports"}, kExitUsage, "several remotes at once need --yes"},
      {{"update", "--port", "3", "--all-ports", "--yes"}, kExitUsage, "excludes"},
      {{"update", "--port", "3", "--family", "Q9"}, kExitUsage, "--family"},
      {{"update", "--port", "3", "--file", "/nonexistent/HLX700_V_1_0_0.bin"},
       kExitUsage,
       "--file"},
      {{"update", "--retry-failed", "/nonexistent/summary.json", "--yes"},
       kExitUsage,
       "--retry-failed"},
      {{"update", "--port", "3", "--reset-timeout", "0"}, kExitUsage, "--reset-timeout"},
      {{"info"}, kExitUsage, "--port is required"},
      {{"info", "--port", "3,4"}, kExitUsage, "info: --port takes one port number"},
      {{"list", "--port", "3"}, kExitUsage, "--port"},
      {{"revert"}, kExitUsage, "--port is required"},
      {{"revert", "--port", "3-4", "--yes"}, kExitUsage, "revert: --port takes one port number"},
      {{"revert", "--port", "3", "--file", "x.bin"}, kExitUsage, "--file"},
      {{"revert", "--help"}, kExitUpdated, "--yes"},
      {{"update", "--help"}, kExitUpdated, "--retry-failed"},
      {{"--help"}, kExitUpdated, "130  interrupted"},
  };
  for (const Case& c : cases) {
    std::string call;
    for (const std::string& a : c.args) call += a + " ";
    SCOPED_TRACE(call);
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    EXPECT_FALSE(parsed.command.has_value());
    EXPECT_EQ(parsed.exitCode, c.exitCode);
    EXPECT_NE(parsed.text.find(c.inText), std::string::npos) << parsed.text;
    EXPECT_EQ(parsed.textIsError, c.exitCode != kExitUpdated);
  }
}

TEST(CliArguments, PortListsAndAnswersParse) {
  const ParsedCommandLine parsed = ParseCommandLine(
      {"update", "--port", "12,3,4,7-9,4", "--yes", "--family", "mv5100", "--json"});
  ASSERT_TRUE(parsed.command.has_value()) << parsed.text;
  const UpdateOptions& u = parsed.command->update;
  EXPECT_EQ(u.ports, (std::vector<int>{3, 4, 7, 8, 9, 12}));
  EXPECT_EQ(u.family, DeviceFamily::MV5100);
  EXPECT_TRUE(u.yes && u.json);
}

}  // namespace
