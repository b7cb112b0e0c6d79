// The emulator's command line as scripts write it: both value forms, the last
// of a repeated option, values that begin with a dash, decimal numbers only,
// keys in command-line order, and a refusal that names what it refuses.

#include "emulator/options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using emulator::Options;
using emulator::PowerState;

const std::string kKey = DEVELOPMENT_PUB;
const std::string kRevoked = DEVELOPMENT_REVOKED_PUB;

// Key file names and their revoked flags, in slot order.
std::string Slots(const Options& o) {
  std::string text;
  for (const wire::KeySlot& slot : o.device.keySlots)
    text += slot.name.substr(slot.name.rfind('/') + 1) + (slot.revoked ? "(revoked) " : " ");
  return text;
}

struct Case {
  std::vector<std::string> args;
  std::string refusal;  // what the message holds; empty: accepted
  std::function<void(const Options&)> check = [](const Options&) {};
};

TEST(EmulatorOptions, ReadAsScriptsWriteThem) {
  const std::vector<Case> cases = {
      {{"--family=KII", "--state", "bootloader", "--state=silent"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.device.familyName, "KII");
         EXPECT_EQ(o.device.initialState, PowerState::Silent);
       }},
      {{"--log", "-", "--boot-text", "-x", "--baud", "010", "--seed", "9223372036854775807"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.log, "-");
         EXPECT_EQ(o.device.bootText, "-x");
         EXPECT_EQ(o.baud, 10);
         EXPECT_EQ(o.seed, 9223372036854775807ULL);
       }},
      {{"--rates", "none", "--no-answer", "boot,app", "--fault", "wrong-family", "--family",
        "TQ640"},
       "",
       [](const Options& o) {
         EXPECT_TRUE(o.device.rates.empty());
         EXPECT_FALSE(o.device.answerBoot || o.device.answerApp);
         EXPECT_TRUE(o.device.answerProduct);
         EXPECT_NE(o.device.reportedCode, o.device.deviceCode);
       }},
      // A revocation before the first trusted key is replaced with the rest.
      {{"--revoke-key", kKey, "--trust-key", kRevoked},
       "",
       [](const Options& o) { EXPECT_EQ(Slots(o), "development-revoked.pub "); }},
      {{"--trust-key", kRevoked, "--revoke-key", kKey, "--trust-key", kKey},
       "",
       [](const Options& o) {
         EXPECT_EQ(Slots(o), "development-revoked.pub development.pub(revoked) ");
       }},
      {{"--help", "--family", "MV5100"}, "", [](const Options& o) { EXPECT_TRUE(o.help); }},
      {{"--baud", "0x10"}, "--baud"},
      {{"--seed", "-1"}, "--seed"},
      {{"--window", "65"}, "--window"},
      {{"--rates", "230400"}, "115200"},
      {{"--no-answer", "boot,clock"}, "--no-answer"},
      {{"--state"}, "--state"},
      {{"--family", "kii"}, "--family"},
      {{"--fault", "melt:3"}, "unknown fault"},
      {{"--trust-key", "/no/such.pub"}, "cannot read key file /no/such.pub"},
      {{"--family", "MV5100", "stray"}, "unknown option stray"},
      {{"--flash-size", "65536", "--initial-image", "/no/such.bin"}, "cannot read"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"remote-emulator"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    Options options;
    const auto parsed = emulator::ParseOptions(static_cast<int>(argv.size()), argv.data(), options);
    if (c.refusal.empty()) {
      ASSERT_TRUE(parsed) << parsed.error().Describe();
      c.check(options);
    } else {
      ASSERT_FALSE(parsed);
      EXPECT_NE(parsed.error().Describe().find(c.refusal), std::string::npos)
          << parsed.error().Describe();
    }
  }
}

}  // namespace
