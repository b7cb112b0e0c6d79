// The identification queries and the boot access through the real library
// against remote-emulator on a pseudo-terminal.

#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "Kestra2G.h"
#include "core/device_family.h"
#include "kestra2g/remote_fixture.h"
#include "platform/serial_port.h"

namespace {

using k2gtest::kPort;
using k2gtest::Remote;
using namespace std::chrono_literals;

using Query = unsigned char (*)(int32_t, char*, int32_t);

struct FamilyQueries {
  const char* name;
  Query boot, product, application;
};

constexpr std::array<FamilyQueries, 4> kQueries = {{
    {"HLX700", HLX700_GetBootInformation, HLX700_GetProductInformation,
     HLX700_GetApplicationInformation},
    {"MV5100", MV5100_GetBootInformation, MV5100_GetProductInformation,
     MV5100_GetApplicationInformation},
    {"TQ640", TQ640_GetBootInformation, TQ640_GetProductInformation,
     TQ640_GetApplicationInformation},
    {"KII", KII_GetBootInformation, KII_GetProductInformation, KII_GetApplicationInformation},
}};

std::string Ask(Query q, unsigned char* result) {
  char info[255] = {};
  *result = q(-1, info, kPort);
  return std::string(info, strnlen(info, sizeof info));
}

class IdentifiesEachFamily : public ::testing::TestWithParam<int> {};

TEST_P(IdentifiesEachFamily, BootProductAndApplicationTexts) {
  const FamilyInfo& family = kFamilies[static_cast<std::size_t>(GetParam())];
  const FamilyQueries& q = kQueries[static_cast<std::size_t>(GetParam())];
  Remote remote({"--family", q.name, "--app-version", "2.0.3"});
  ASSERT_TRUE(remote.started());
  unsigned char r = 0;
  const std::string boot = Ask(q.boot, &r);
  EXPECT_EQ(r, 1);
  EXPECT_NE(boot.find("OEM " + std::string(family.bootId)), std::string::npos) << boot;
  const std::string product = Ask(q.product, &r);
  EXPECT_EQ(r, 1);
  EXPECT_NE(product.find(family.productKey), std::string::npos) << product;
  const std::string app = Ask(q.application, &r);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(app, "APP: 2.0.3\r\n");  // the program skips five bytes and trims
}

INSTANTIATE_TEST_SUITE_P(Families, IdentifiesEachFamily, ::testing::Range(0, 4));

TEST(Identification, TQ640DeviceAnswersTheHLX700BootQuery) {
  Remote remote({"--family", "TQ640"});
  ASSERT_TRUE(remote.started());
  unsigned char r = 0;
  EXPECT_NE(Ask(HLX700_GetBootInformation, &r).find("OEM 35243"), std::string::npos);
  EXPECT_EQ(r, 1);
  const std::string product = Ask(HLX700_GetProductInformation, &r);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(product.find("HLX700"), std::string::npos);
  EXPECT_NE(product.find("TQ640"), std::string::npos);
}

TEST(Identification, ReportsTheVersionOfTheImageItStartsWith) {
  const std::string image = k2gtest::WriteFirmware("MV5100_V_3_10.bin", 2, "MV5100", "3.10", 4096);
  Remote remote({"--family", "MV5100", "--initial-image", image});
  ASSERT_TRUE(remote.started());
  unsigned char r = 0;
  EXPECT_EQ(Ask(MV5100_GetApplicationInformation, &r), "APP: 3.10\r\n");
  EXPECT_EQ(r, 1);
}

TEST(Identification, LongTextIsCutToTheBufferAndNeverWritesPastIt) {
  const std::string longText(600, 'x');
  Remote remote({"--boot-text", "OEM 35243" + longText});
  ASSERT_TRUE(remote.started());
  std::array<char, 300> buffer;
  buffer.fill('\x7f');
  std::fill_n(buffer.begin(), 255, '\0');
  EXPECT_EQ(HLX700_GetBootInformation(-1, buffer.data(), kPort), 1);
  EXPECT_EQ(std::strlen(buffer.data()), 254U);
  EXPECT_EQ(std::string(buffer.data(), 9), "OEM 35243");
  for (std::size_t i = 255; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '\x7f') << i;
}

TEST(Identification, UnansweredQueriesFailAndOthersStillWork) {
  Remote remote({"--no-answer", "boot,app"});
  ASSERT_TRUE(remote.started());
  unsigned char r = 1;
  const auto t0 = std::chrono::steady_clock::now();
  Ask(HLX700_GetBootInformation, &r);
  EXPECT_EQ(r, 0);
  // Three attempts of the default 250 ms: bounded, not forever.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
  Ask(HLX700_GetApplicationInformation, &r);
  EXPECT_EQ(r, 0);
  Ask(HLX700_GetProductInformation, &r);
  EXPECT_EQ(r, 1);
}

TEST(Identification, NoDeviceOnThePortFails) {
  unsigned char r = 1;
  Ask(HLX700_GetBootInformation, &r);  // COM3 does not exist here
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
}

TEST(SerialPort, IsFreeBetweenCallsAndABusyPortIsRefused) {
  Remote remote({});
  ASSERT_TRUE(remote.started());
  unsigned char r = 0;
  Ask(HLX700_GetProductInformation, &r);
  ASSERT_EQ(r, 1);
  EXPECT_TRUE(platform::ProbePort(kPort));
  {
    auto holder = platform::SerialPort::Open(kPort);
    ASSERT_TRUE(holder.has_value());
    EXPECT_FALSE(platform::ProbePort(kPort));
    Ask(HLX700_GetProductInformation, &r);
    EXPECT_EQ(r, 0);
  }
  Ask(HLX700_GetProductInformation, &r);
  EXPECT_EQ(r, 1);
}

TEST(InitCom, RefusedInTheApplicationUntilResetThenAccepted) {
  Remote remote({"--state", "application"});
  ASSERT_TRUE(remote.started());
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
  remote.PressReset();
  unsigned char ok = 0;
  for (int i = 0; i < 100 && ok == 0; ++i) {  // as the program polls, every 50 ms
    ok = Qarnel_InitCom(kPort, 0);
    if (ok == 0) std::this_thread::sleep_for(50ms);
  }
  EXPECT_NE(ok, 0);
}

TEST(InitCom, ResetPressedByTheUserAfterTheFirstRefusal) {
  Remote remote({"--state", "application", "--reset-after-ms", "200"});
  ASSERT_TRUE(remote.started());
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
  std::this_thread::sleep_for(400ms);
  EXPECT_NE(Qarnel_InitCom(kPort, 0), 0);
}

TEST(InitCom, RefusesAnotherFamilyOrAnUnknownCode) {
  Remote remote({"--state", "bootloader", "--family", "MV5100"});
  ASSERT_TRUE(remote.started());
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
  EXPECT_EQ(Qarnel_InitCom(kPort, 7), 0);
  EXPECT_NE(Qarnel_InitCom(kPort, 2), 0);
}

TEST(CatchBoot, CatchesTheBootLoaderInItsListeningWindow) {
  Remote remote({"--state", "silent", "--catch-window-ms", "300"});
  ASSERT_TRUE(remote.started());
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);  // silent: no answer at all
  auto caught = std::async(std::launch::async, [] { return Qarnel_CatchBoot(kPort, 0); });
  std::this_thread::sleep_for(300ms);
  remote.PressReset();  // the user powers the device up
  EXPECT_NE(caught.get(), 0);
  EXPECT_NE(Qarnel_InitCom(kPort, 0), 0);  // and it stays in its boot loader
}

TEST(CatchBoot, MissesAWindowThatClosedBeforeAsking) {
  Remote remote({"--state", "silent", "--catch-window-ms", "150"});
  ASSERT_TRUE(remote.started());
  remote.PressReset();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Qarnel_CatchBoot(kPort, 0), 0);
  EXPECT_EQ(Qarnel_InitCom(kPort, 0), 0);
}

}  // namespace
