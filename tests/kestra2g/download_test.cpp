// Downloads through the real library into remote-emulator: the image that
// arrives, what the program sees meanwhile, the checks before erasing, and
// the fault matrix.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"
#include "platform/support_log.h"

namespace {

using k2gtest::kPort;
using k2gtest::RatesInLog;
using k2gtest::RatesSeen;
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

// Refused before anything is erased: the old image is intact afterwards,
// and the support log names the cause. A file that fails its check is
// refused before the port is opened: the device hears nothing.
struct Refusal {
  const char* name;
  std::vector<std::string> emulatorArgs;
  int code;
  std::string file;   // a kind of file, made by BadFile
  std::string cause;  // in the support log
  bool fileCheck;     // refused before the port opens
  friend void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }
};

std::vector<std::uint8_t> Signed(std::uint8_t code, const char* family, const char* version,
                                 const wire::KeyPair& key = testkeys::Development()) {
  return wire::BuildSignedFirmwareFile(code, family, version, sample::CodeLikeBytes(8192, code),
                                       key)
      .value_or(std::vector<std::uint8_t>{});
}

std::string BadFile(const std::string& kind) {
  using k2gtest::WriteBytes;
  // Under the name a file would have, something that is not one.
  const std::string named = k2gtest::Scratch("HLX700_V_3_0_0.bin");
  std::filesystem::remove_all(named);
  if (kind == "fifo") return mkfifo(named.c_str(), 0600) == 0 ? named : "";
  if (kind == "dev-zero") {
    std::filesystem::create_symlink("/dev/zero", named);
    return named;
  }
  if (kind == "folder") {
    std::filesystem::create_directory(named);
    return named;
  }
  if (kind == "sparse-3g") {
    std::ofstream(named, std::ios::binary).write("K2GF", 4);
    std::filesystem::resize_file(named, 3ULL << 30);
    return named;
  }
  std::vector<std::uint8_t> bytes = Signed(0, "HLX700", "3.0.0");
  if (kind == "good") return WriteBytes("HLX700_V_3_0_0.bin", bytes);
  if (kind == "too-big")
    return WriteFirmware("HLX700_V_3_0_0.bin", 0, "HLX700", "3.0.0", 60 * 1024);
  if (kind == "missing") return k2gtest::Scratch("HLX700_V_4_0_0.bin");
  if (kind == "empty") bytes.clear();
  if (kind == "payload-byte") bytes[wire::kSignedHeaderSize + 1000] ^= 0x01;
  if (kind == "manifest-byte") bytes[21] ^= 0x01;  // in the version text
  if (kind == "short-signature") bytes.erase(bytes.begin() + 100, bytes.begin() + 110);
  if (kind == "other-key") {
    const auto stranger = wire::Ed25519Generate();
    bytes = stranger ? Signed(0, "HLX700", "3.0.0", *stranger) : std::vector<std::uint8_t>{};
  }
  if (kind == "revoked-key") bytes = Signed(0, "HLX700", "3.0.0", testkeys::DevelopmentRevoked());
  if (kind == "other-family") bytes = Signed(1, "TQ640", "3.0.0");
  if (kind == "renamed-older")
    return WriteBytes("HLX700_V_9_9_9.bin", Signed(0, "HLX700", "2.1.0"));
  if (kind == "unsigned") {
    bytes = wire::BuildFirmwareFile(0, "HLX700", "3.0.0", sample::CodeLikeBytes(8192, 0));
  }
  return WriteBytes("HLX700_V_3_0_0.bin", bytes);
}

class RefusedBeforeErasing : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedBeforeErasing, FailsKeepsTheOldImageAndLogsWhy) {
  const Refusal& c = GetParam();
  const std::string file = BadFile(c.file);
  // Other tests write a file under the same name.
  struct Removed {
    std::string path;
    ~Removed() { std::filesystem::remove_all(path); }
  } removed{file};
  std::vector<std::string> args = {"--app-version", "1.2.3"};
  args.insert(args.end(), c.emulatorArgs.begin(), c.emulatorArgs.end());
  Remote remote(args);
  ASSERT_TRUE(remote.started());
  const std::string log = platform::SupportLogPath();
  const auto before = std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;

  EXPECT_EQ(Qarnel_DownloadMOTCF(file.c_str(), kPort, c.code), 0);
  char name[256];
  HLX700_GetJobName(name);
  EXPECT_STREQ(name, "Failed");
  const std::string logged = k2gtest::ReadText(log).substr(before);
  EXPECT_NE(logged.find(c.cause), std::string::npos) << logged;
  EXPECT_EQ(logged.find("failed in stage Checking the firmware file: ") != std::string::npos,
            c.fileCheck)
      << logged;
  EXPECT_EQ(remote.Log().find(c.fileCheck ? "HELLO" : "ERASE"), std::string::npos) << remote.Log();
  EXPECT_FALSE(std::filesystem::exists(remote.imageOut()));
  char info[255] = {};
  EXPECT_EQ(HLX700_GetApplicationInformation(-1, info, kPort), 1);
  EXPECT_STREQ(info, "APP: 1.2.3\r\n");
}

const std::vector<std::string> kBootLoader = {"--state", "bootloader"};

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedBeforeErasing,
    ::testing::Values(
        Refusal{"FlippedPayloadByte", kBootLoader, 0, "payload-byte",
                "its payload does not match the signed hash", true},
        Refusal{"FlippedManifestByte", kBootLoader, 0, "manifest-byte", "signature does not match",
                true},
        Refusal{"TruncatedSignature", kBootLoader, 0, "short-signature", "signature does not match",
                true},
        Refusal{"AnotherKeysSignature", kBootLoader, 0, "other-key", "signed by an unknown key",
                true},
        Refusal{"RevokedKey", kBootLoader, 0, "revoked-key", "signed by a revoked key", true},
        Refusal{"AnotherFamilysFileRenamed", kBootLoader, 0, "other-family",
                "made for another family (TQ640, device code 1; device code 0 asked for)", true},
        Refusal{"OlderImageRenamedNewer", kBootLoader, 0, "renamed-older",
                "its name says 9.9.9, it holds 2.1.0", true},
        Refusal{"UnsignedFormat1File", kBootLoader, 0, "unsigned", "(not signed)", true},
        Refusal{"CodeOfAnotherFamily", kBootLoader, 1, "good", "made for another family", true},
        Refusal{"EmptyFile", kBootLoader, 0, "empty", "it is empty", true},
        Refusal{"MissingFile", kBootLoader, 0, "missing",
                "cannot be read (open: No such file or directory)", true},
        // Read without bounds, these would wait for a writer for good or
        // fill the memory.
        Refusal{"FifoUnderTheFilesName", kBootLoader, 0, "fifo",
                "cannot be read (open: not a regular file: a FIFO)", true},
        Refusal{"LinkToDevZero", kBootLoader, 0, "dev-zero",
                "cannot be read (open: not a regular file: a character device)", true},
        Refusal{"SparseFileOf3GiB", kBootLoader, 0, "sparse-3g",
                "cannot be read (read: 3221225472 bytes, larger than the 268435456 it may have)",
                true},
        Refusal{"FolderUnderTheFilesName", kBootLoader, 0, "folder",
                "cannot be read (open: not a regular file: a folder)", true},
        Refusal{"UnknownDeviceCode", kBootLoader, 9, "good", "a bad argument", true},
        Refusal{"DeviceOfAnotherFamily",
                {"--state", "bootloader", "--family", "TQ640"},
                0,
                "good",
                "the device cannot take this firmware",
                false},
        Refusal{"FileTooBigForTheFlash",
                {"--state", "bootloader", "--flash-size", "65536"},
                0,
                "too-big",
                "the device cannot take this firmware",
                false},
        Refusal{"DeviceInItsApplication",
                {"--state", "application"},
                0,
                "good",
                "the device cannot take this firmware",
                false},
        // The maker revoked the key in the device before this library knew.
        Refusal{"DeviceRevokedTheKey",
                {"--state", "bootloader", "--revoke-key", DEVELOPMENT_PUBLIC_KEY},
                0,
                "good",
                "the device refused (manifest, status 9 (no valid signed manifest))",
                false}),
    [](const auto& info) { return std::string(info.param.name); });

// Rates the device offers x what the cable carries -> the rate the data went
// at; the image byte for byte, the device back at its base rate afterwards
// (the next call finds it there), and the support log says what happened.
TEST(Download, ReachesTheHighestRateDeviceAndCableCarryAndEndsAtTheBaseRate) {
  const struct {
    const char* rates;  // --rates
    int cableLimit;     // --fault rate-limit, 0: none
    int reached;
    const char* logged;  // in the support log, "" for nothing
  } cases[] = {
      {"115200,230400,460800,921600", 0, 921600, "line rate 921600 baud"},
      // One failed try a call; the next call would try the next lower rate.
      {"115200,230400,460800,921600", 230400, 115200,
       "no line rate 921600 baud (no valid answer there); back to 115200 baud for this call"},
      {"115200,230400,460800,921600", 115200, 115200, "no line rate 921600 baud"},
      {"115200,460800", 0, 460800, "line rate 460800 baud"},
      {"115200,250000", 0, 115200, ""},  // not a rate the port runs
      {"115200", 0, 115200, ""},
      {"none", 0, 115200, ""},  // a boot loader from before rate switching
  };
  const std::string file = WriteFirmware("HLX700_V_5_1_0.bin", 0, "HLX700", "5.1.0", 48 * 1024);
  int port = kPort;
  for (const auto& c : cases) {
    ++port;  // a port of its own: the library keeps what failed on one
    const std::string what = std::string(c.rates) + " limit " + std::to_string(c.cableLimit);
    std::vector<std::string> args = {"--state", "bootloader", "--rates", c.rates};
    if (c.cableLimit > 0) {
      args.insert(args.end(), {"--fault", "rate-limit:" + std::to_string(c.cableLimit)});
    }
    Remote remote(args, port);
    ASSERT_TRUE(remote.started());
    const std::string supportLog = platform::SupportLogPath();
    const auto before =
        std::filesystem::exists(supportLog) ? std::filesystem::file_size(supportLog) : 0;
    EXPECT_NE(Qarnel_DownloadMOTCF(file.c_str(), port, 0), 0) << what << "\n" << remote.Log();
    EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(file)) << what;
    // The next call, at the base rate, is answered.
    char info[255] = {};
    EXPECT_EQ(HLX700_GetApplicationInformation(-1, info, port), 1) << what;
    EXPECT_STREQ(info, "APP: 5.1.0\r\n") << what;
    remote.Stop();
    const RatesSeen seen = RatesInLog(remote.Log());
    EXPECT_EQ(seen.atData, c.reached) << what << "\n" << remote.Log();
    EXPECT_EQ(seen.atEnd, 115200) << what;
    const std::string logged = k2gtest::ReadText(supportLog).substr(before);
    if (*c.logged != '\0') {
      EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
    }
    EXPECT_EQ(logged.find("line rate") != std::string::npos, c.reached != 115200 || *c.logged)
        << what << "\n"
        << logged;
  }
}

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
  // How often the emulator heard each request named (its log's lines).
  std::vector<std::pair<std::string, int>> heard = {};
  std::size_t payload = 64 * 1024;
  friend void PrintTo(const Fault& f, std::ostream* os) { *os << k2gtest::Join(f.spec); }
};

int TimesHeard(const std::string& log, const std::string& request) {
  int n = 0;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    n += space != std::string::npos && line.substr(space + 1) == request;
  }
  return n;
}

class FaultMatrix : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultMatrix, RecoversExactlyOrFailsSafely) {
  const Fault& fault = GetParam();
  const std::string file = WriteFirmware("HLX700_V_5_0_0.bin", 0, "HLX700", "5.0.0", fault.payload);
  std::vector<std::string> args = {"--state", "bootloader", "--seed", "11", "--max-data", "1024"};
  for (const std::string& f : fault.spec) args.insert(args.end(), {"--fault", f});
  args.insert(args.end(), fault.device.begin(), fault.device.end());
  Remote remote(args);
  ASSERT_TRUE(remote.started());
  const unsigned char ok = Qarnel_DownloadMOTCF(file.c_str(), kPort, 0);
  remote.Stop();
  const std::string exitLine = remote.ExitLine();
  // The device offers every rate: the data goes at a raised one, and the
  // device ends at its base rate whatever happened.
  const RatesSeen rates = RatesInLog(remote.Log());
  if (remote.Log().find("DISCONNECT") == std::string::npos) {
    EXPECT_EQ(rates.atEnd, 115200);
  }
  if (ok != 0) {
    EXPECT_GT(rates.atData, 115200);
    EXPECT_EQ(ReadBytes(remote.imageOut()), ReadBytes(file));
    EXPECT_EQ(exitLine, "EXIT state=application image=valid");
  } else {
    EXPECT_FALSE(std::filesystem::exists(remote.imageOut()));
    // Nothing new was activated: the boot loader waits, or after a power
    // loss the old image, kept beside the new one, starts again.
    EXPECT_TRUE(exitLine.starts_with("EXIT state=bootloader") ||
                exitLine == "EXIT state=application image=valid")
        << remote.Log();
  }
  EXPECT_EQ(ok != 0, fault.recoverable) << remote.Log().substr(0, 4000);
  for (const auto& [request, times] : fault.heard) {
    EXPECT_EQ(TimesHeard(remote.Log(), request), times) << request << "\n" << remote.Log();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    ::testing::Values(
        Fault{"BitFlips", {"flip:2e-4"}, true}, Fault{"DroppedBytes", {"drop:1e-4"}, true},
        Fault{"GarbageBursts", {"garbage:20%"}, true},
        Fault{"LostAcknowledgements", {"lose-ack:20%"}, true},
        Fault{"DuplicatedAcknowledgements", {"dup-ack:30%"}, true},
        Fault{"BitFlipsPlain", {"flip:2e-4"}, true, {"--no-deflate"}},
        Fault{"EverythingAtOnce",
              {"flip:1e-4", "drop:5e-5", "garbage:5%", "lose-ack:5%", "dup-ack:5%"},
              true},
        Fault{"Stall", {"stall:40:1200"}, true},
        // One request lost on the line: the manifest that proves
        // the rate, the erase the data follows, the check sum
        // asked for behind the data.
        Fault{"LostManifest", {"lose:manifest"}, true}, Fault{"LostErase", {"lose:erase"}, true},
        Fault{"LostVerify", {"lose:verify"}, true}, Fault{"Disconnect", {"disconnect:50"}, false},
        // The end of the download: VERIFY and ACTIVATE go behind the last
        // data frame, and ACTIVATE asks the device to restart.
        // Its OK ACTIVATE stands for the check sum; not asked again.
        Fault{"LostVerifyAnswer",
              {"lose-answer:verify"},
              true,
              {},
              {{"VERIFY", 1}, {"ACTIVATE", 1}, {"RESTART", 0}}},
        // Restarted, the device refuses ACTIVATE again at the base rate;
        // HELLO shows the new image running.
        Fault{"LostActivateAnswer",
              {"lose-answer:activate"},
              true,
              {},
              {{"ACTIVATE", 2}, {"HELLO", 2}, {"RESTART", 0}}},
        Fault{"LostActivateAnswerWithoutRestartFlag",
              {"lose-answer:activate"},
              true,
              {"--no-restart-on-activate"},
              {{"ACTIVATE", 2}, {"RESTART", 1}}},
        // The only data frame lost: the closing's ACTIVATE is refused (the
        // check sum differs too), the frame goes again and so does the closing.
        Fault{"ActivateRefusedWhileDataMissing",
              {"lose:data"},
              true,
              {"--no-deflate"},
              {{"VERIFY", 2}, {"ACTIVATE", 2}},
              600},
        Fault{"PowerLoss", {"power-loss:60"}, false},
        Fault{"FlashWriteError", {"write-error:30"}, false},
        Fault{"VerifyError", {"verify-error"}, false},
        Fault{"WrongFamily", {"wrong-family"}, false},
        // Only the library's own check stands before this one.
        Fault{"BootLoaderWithoutSignatureCheck", {}, true, {"--no-signature-check"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
