// Downloads through the real library into remote-emulator: the image that
// arrives, what the program sees meanwhile, the checks before erasing, and
// the fault matrix.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"

namespace {

using k2gtest::kPort;
using k2gtest::ReadBytes;
using k2gtest::Remote;
using k2gtest::WriteFirmware;

struct Seen {
  std::string job;
  int progress;
};

TEST(Download, ImageArrivesByteForByteWhileJobAndProgressAreWatched) {
  const std::string file = WriteFirmware("HLX700_V_3_0_0.bin", 0, "HLX700", "3.0.0", 40 * 1024);
  Remote remote({"--state", "bootloader", "--flash-write-ms-per-kb", "8", "--max-data", "1024"});
  ASSERT_TRUE(remote.started());

  std::atomic<bool> running{true};
  std::vector<Seen> seen;
  std::thread watcher([&] {
    while (running.load()) {
      char name[256];
      std::memset(name, '#', sizeof name);  // the program does not clear it
      TQ640_GetJobName(name);               // any family's: one library, one download
      seen.push_back({name, HLX700_GetProgress()});
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  const unsigned char ok = Qarnel_DownloadMOTCF(file.c_str(), kPort, 0);
  running = false;
  watcher.join();

  ASSERT_NE(ok, 0) << remote.Log();
  EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(file));
  char name[256];
  HLX700_GetJobName(name);
  EXPECT_STREQ(name, "Done");
  EXPECT_EQ(KII_GetProgress(), 100);

  ASSERT_FALSE(seen.empty());
  bool sawWriting = false;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_GE(seen[i].progress, 0);
    EXPECT_LE(seen[i].progress, 100);
    if (i > 0) {
      EXPECT_GE(seen[i].progress, seen[i - 1].progress) << "at sample " << i;
    }
    sawWriting =
        sawWriting || (seen[i].job == "Writing" && seen[i].progress > 3 && seen[i].progress < 94);
  }
  EXPECT_TRUE(sawWriting);

  // The device now runs the new firmware.
  char info[255] = {};
  EXPECT_EQ(HLX700_GetApplicationInformation(-1, info, kPort), 1);
  EXPECT_STREQ(info, "APP: 3.0.0\r\n");
  remote.Stop();
  EXPECT_EQ(remote.ExitLine(), "EXIT state=application image=valid");
}

// The sample files, two to a device that inflates (they go compressed) and
// two to one from before compressed images (they go as they are).
TEST(Download, SampleFilesOfTheBuildArriveCompressedOrPlainAsTheDeviceOffers) {
  const std::string bin = std::filesystem::path(REMOTE_EMULATOR_PATH).parent_path().string();
  const struct {
    const char* file;
    const char* family;
    int code;
    bool deflate;
  } samples[] = {{"HLX700_V_2_1_0.bin", "HLX700", 0, true},
                 {"MV5100_V_3_05.bin", "MV5100", 2, false},
                 {"TQ640_V_4_0_1.bin", "TQ640", 1, false},
                 {"KII_V_1_0_2.bin", "KII", 3, true}};
  for (const auto& s : samples) {
    std::vector<std::string> args = {"--state", "bootloader", "--family", s.family};
    if (!s.deflate) args.push_back("--no-deflate");
    Remote remote(args);
    ASSERT_TRUE(remote.started());
    const std::string path = bin + "/" + s.file;
    EXPECT_NE(Qarnel_DownloadMOTCF(path.c_str(), kPort, s.code), 0) << s.file;
    EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(path)) << s.file;
    const std::string log = remote.Log();
    EXPECT_EQ(log.find(" DATA-DEFLATED\n") != std::string::npos, s.deflate) << s.file;
    EXPECT_EQ(log.find(" DATA\n") != std::string::npos, !s.deflate) << s.file;
  }
}

// Refused before anything is erased: the old image is intact afterwards.
struct Refusal {
  const char* name;
  std::vector<std::string> emulatorArgs;
  int code;
  std::string file;  // "" uses a good HLX700 file
  friend void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }
};

class RefusedBeforeErasing : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedBeforeErasing, FailsAndKeepsTheOldImage) {
  const Refusal& c = GetParam();
  std::string file = c.file;
  if (file == "") file = WriteFirmware("good.bin", 0, "HLX700", "3.0.0", 8192);
  if (file == "wrong-family") file = WriteFirmware("tq.bin", 1, "TQ640", "4.0.0", 8192);
  if (file == "too-big") file = WriteFirmware("big.bin", 0, "HLX700", "3.0.0", 60 * 1024);
  if (file == "empty") {
    file = k2gtest::Scratch("empty.bin");
    std::ofstream(file).close();
  }
  if (file == "damaged") {
    file = WriteFirmware("damaged.bin", 0, "HLX700", "3.0.0", 8192);
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(1000);
    f.put('\x01');
  }
  if (file == "missing") file = k2gtest::Scratch("no-such-file.bin");
  std::vector<std::string> args = {"--app-version", "1.2.3"};
  args.insert(args.end(), c.emulatorArgs.begin(), c.emulatorArgs.end());
  Remote remote(args);
  ASSERT_TRUE(remote.started());
  EXPECT_EQ(Qarnel_DownloadMOTCF(file.c_str(), kPort, c.code), 0);
  char name[256];
  HLX700_GetJobName(name);
  EXPECT_STREQ(name, "Failed");
  EXPECT_FALSE(std::filesystem::exists(remote.imageOut()));
  EXPECT_EQ(remote.Log().find("ERASE"), std::string::npos) << remote.Log();
  char info[255] = {};
  EXPECT_EQ(HLX700_GetApplicationInformation(-1, info, kPort), 1);
  EXPECT_STREQ(info, "APP: 1.2.3\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedBeforeErasing,
    ::testing::Values(
        Refusal{"FileOfAnotherFamily", {"--state", "bootloader"}, 0, "wrong-family"},
        Refusal{"CodeOfAnotherFamily", {"--state", "bootloader"}, 1, "wrong-family"},
        Refusal{"DeviceOfAnotherFamily", {"--state", "bootloader", "--family", "TQ640"}, 0, ""},
        Refusal{"FileTooBigForTheFlash",
                {"--state", "bootloader", "--flash-size", "65536"},
                0,
                "too-big"},
        Refusal{"EmptyFile", {"--state", "bootloader"}, 0, "empty"},
        Refusal{"DamagedFile", {"--state", "bootloader"}, 0, "damaged"},
        Refusal{"MissingFile", {"--state", "bootloader"}, 0, "missing"},
        Refusal{"DeviceInItsApplication", {"--state", "application"}, 0, ""},
        Refusal{"UnknownDeviceCode", {"--state", "bootloader"}, 9, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Download, NullOrEmptyPathFails) {
  EXPECT_EQ(Qarnel_DownloadMOTCF(nullptr, kPort, 0), 0);
  EXPECT_EQ(Qarnel_DownloadMOTCF("", kPort, 0), 0);
}

// Every fault either recovers with the exact image or fails; never a false
// success, and the device always keeps its boot loader.
struct Fault {
  const char* name;
  std::vector<std::string> spec;
  bool recoverable;
  std::vector<std::string> device = {};  // more emulator options
  friend void PrintTo(const Fault& f, std::ostream* os) { *os << k2gtest::Join(f.spec); }
};

class FaultMatrix : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultMatrix, RecoversExactlyOrFailsSafely) {
  const Fault& fault = GetParam();
  const std::string file = WriteFirmware("HLX700_V_5_0_0.bin", 0, "HLX700", "5.0.0", 64 * 1024);
  std::vector<std::string> args = {"--state", "bootloader", "--seed", "11", "--max-data", "1024"};
  for (const std::string& f : fault.spec) args.insert(args.end(), {"--fault", f});
  args.insert(args.end(), fault.device.begin(), fault.device.end());
  Remote remote(args);
  ASSERT_TRUE(remote.started());
  const unsigned char ok = Qarnel_DownloadMOTCF(file.c_str(), kPort, 0);
  remote.Stop();
  const std::string exitLine = remote.ExitLine();
  if (ok != 0) {
    EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(file));
    EXPECT_EQ(exitLine, "EXIT state=application image=valid");
  } else {
    EXPECT_FALSE(std::filesystem::exists(remote.imageOut()));
    EXPECT_TRUE(exitLine.starts_with("EXIT state=bootloader")) << remote.Log();
  }
  EXPECT_EQ(ok != 0, fault.recoverable) << remote.Log().substr(0, 4000);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    ::testing::Values(Fault{"BitFlips", {"flip:2e-4"}, true},
                      Fault{"DroppedBytes", {"drop:1e-4"}, true},
                      Fault{"GarbageBursts", {"garbage:20%"}, true},
                      Fault{"LostAcknowledgements", {"lose-ack:20%"}, true},
                      Fault{"DuplicatedAcknowledgements", {"dup-ack:30%"}, true},
                      Fault{"BitFlipsPlain", {"flip:2e-4"}, true, {"--no-deflate"}},
                      Fault{"EverythingAtOnce",
                            {"flip:1e-4", "drop:5e-5", "garbage:5%", "lose-ack:5%", "dup-ack:5%"},
                            true},
                      Fault{"Stall", {"stall:40:1200"}, true},
                      Fault{"Disconnect", {"disconnect:50"}, false},
                      Fault{"PowerLoss", {"power-loss:60"}, false},
                      Fault{"FlashWriteError", {"write-error:30"}, false},
                      Fault{"VerifyError", {"verify-error"}, false},
                      Fault{"WrongFamily", {"wrong-family"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
