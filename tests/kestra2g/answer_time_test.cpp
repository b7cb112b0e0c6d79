// A remote that answers late, through every call the program makes of it:
// the text queries, Qarnel_InitCom and the download, byte for byte, whether
// it offers faster rates or not. The library's waits follow the round trip
// it measures, so a slow remote costs round trips, never the call.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"

namespace {

using k2gtest::kPort;
using k2gtest::ReadBytes;
using k2gtest::Remote;

constexpr const char* kEveryRate = "115200,230400,460800,921600";

struct Row {
  int turnaroundMs;   // --turnaround-ms: how late the remote answers
  const char* rates;  // --rates: what it offers
  bool everyCall;     // the queries and InitCom too, not only the download
};

TEST(AnswerTime, EveryCallSucceedsAndTheImageArrivesWhateverTheRemotesAnswerTime) {
  const Row rows[] = {
      {0, kEveryRate, true},   {0, "115200", true},     {100, kEveryRate, true},
      {100, "115200", true},   {200, kEveryRate, true}, {200, "115200", true},
      {500, kEveryRate, true}, {500, "115200", true},   {1000, kEveryRate, false},
      {1000, "115200", false},
  };
  const std::string file =
      k2gtest::WriteFirmware("HLX700_V_7_0_0.bin", 0, "HLX700", "7.0.0", 8 * 1024);
  for (const Row& row : rows) {
    const std::string what =
        std::to_string(row.turnaroundMs) + " ms, rates " + std::string(row.rates);
    SCOPED_TRACE(what);
    Remote remote({"--state", "bootloader", "--baud", "115200", "--turnaround-ms",
                   std::to_string(row.turnaroundMs), "--rates", row.rates});
    ASSERT_TRUE(remote.started());
    if (row.everyCall) {
      char info[255] = {};
      EXPECT_EQ(HLX700_GetBootInformation(-1, info, kPort), 1);
      EXPECT_STREQ(info, "BOOT V1.07 OEM 35243 VANTREL\r\n");
      EXPECT_EQ(HLX700_GetProductInformation(-1, info, kPort), 1);
      EXPECT_STREQ(info, "PRODUCT HLX700 REV B\r\n");
      EXPECT_NE(Qarnel_InitCom(kPort, 0), 0);
    }
    EXPECT_NE(Qarnel_DownloadMOTCF(file.c_str(), kPort, 0), 0);
    EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(file));
    if (row.everyCall) {
      char info[255] = {};
      EXPECT_EQ(HLX700_GetApplicationInformation(-1, info, kPort), 1);
      EXPECT_STREQ(info, "APP: 7.0.0\r\n");
    }
    remote.Stop();
    // The rate switch holds however late the answers: the data went at the
    // highest rate offered, and the device ended at the base rate.
    const k2gtest::RatesSeen seen = k2gtest::RatesInLog(remote.Log());
    EXPECT_EQ(seen.atData, std::string(row.rates) == kEveryRate ? 921600 : 115200) << remote.Log();
    EXPECT_EQ(seen.atEnd, 115200);
  }
}

}  // namespace
