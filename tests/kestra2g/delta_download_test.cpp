// Format 3 files through the real library into a boot loader that reports
// what it runs: the delta section for the running payload goes in place of
// the image, another running payload gets the whole image, and a file below
// the device's security counter is refused before anything is sent for it,
// or before the port opens when the remote reported its counter earlier.
// Each row: the call's result, what went on the line, what the remote holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"
#include "kestra2g/tools/code_like.h"
#include "kestra2g/tools/delta_codec.h"
#include "kestra2g/wire/firmware_file.h"
#include "platform/support_log.h"
#include "support/development_keys.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using k2gtest::ReadBytes;
using k2gtest::Remote;
using k2gtest::WriteBytes;

// Two builds of one program: the second changes a few functions and grows.
const Bytes kV1 = sample::CodeLikeBytes(96 * 1024, 3);
const Bytes kV2 = [] {
  Bytes b = kV1;
  for (std::size_t at : {2000U, 50000U}) {
    for (std::size_t i = 0; i < 400; ++i) b[at + i] = static_cast<std::uint8_t>(b[at + i] ^ 0x5A);
  }
  const Bytes more = sample::CodeLikeBytes(3000, 4);
  b.insert(b.begin() + 70000, more.begin(), more.end());
  return b;
}();
const Bytes kOther = sample::CodeLikeBytes(96 * 1024, 5);

Bytes Signed(const Bytes& payload, const char* version, std::uint32_t counter,
             const Bytes* deltaFrom = nullptr) {
  Bytes delta;
  std::vector<wire::DeltaInput> inputs;
  if (deltaFrom != nullptr) {
    delta = delta::Make(*deltaFrom, payload).value();
    inputs.push_back({wire::Sha256(*deltaFrom), delta});
  }
  return wire::BuildDeltaFirmwareFile(0, "HLX700", version, payload, counter, inputs,
                                      testkeys::Development())
      .value();
}

// What a device holds of a file: the header and the payload.
Bytes ImageOf(const Bytes& file) {
  wire::FirmwareHeader h;
  EXPECT_EQ(wire::ParseFirmwareHeader(file, &h), wire::FirmwareCheck::Ok);
  return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(h.imageSize()));
}

int Count(const std::string& log, const std::string& what) {
  int n = 0;
  for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
  return n;
}

struct Row {
  const char* name;
  const Bytes* running;  // the remote's running payload
  std::uint32_t remoteCounter;
  std::uint32_t fileCounter;
  bool succeeds;
  const char* onTheLine;      // the data request the image went in; empty: none
  const char* logged;         // in the support log
  bool initComFirst = false;  // Qarnel_InitCom before the download, as the program does
};

TEST(DeltaDownload, TheRunningPayloadDecidesWhatGoesOnTheLine) {
  const std::vector<Row> rows = {
      {"the running payload is the section's base", &kV1, 2, 2, true, "DATA-DELTA",
       "the device runs the base of a delta section"},
      {"another payload runs: the whole image", &kOther, 2, 2, true, "DATA-DEFLATED", ""},
      {"file counter above the remote's", &kV1, 1, 2, true, "DATA-DELTA", ""},
      {"file counter below the remote's: refused before the manifest", &kV1, 3, 2, false, "",
       "security counter 2 of the file is below the device's 3"},
      {"counter reported by InitCom: refused before the port opens", &kV1, 3, 2, false, "",
       "failed in stage Checking the firmware file: the device refused (security counter 2", true},
  };
  int port = k2gtest::kPort;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ++port;  // a port of its own: the library keeps what a remote reported on one
    const std::string initial =
        WriteBytes("HLX700_V_1_0_0.bin", Signed(*r.running, "1.0.0", r.remoteCounter));
    const Bytes file = Signed(kV2, "1.1.0", r.fileCounter, &kV1);
    const std::string path = WriteBytes("HLX700_V_1_1_0.bin", file);
    Remote remote({"--state", "bootloader", "--initial-image", initial, "--security-counter",
                   std::to_string(r.remoteCounter)},
                  port);
    ASSERT_TRUE(remote.started());
    const std::string supportLog = platform::SupportLogPath();
    const std::string before = k2gtest::ReadText(supportLog);

    if (r.initComFirst) {
      EXPECT_EQ(Qarnel_InitCom(port, 0), 1);
    }
    EXPECT_EQ(Qarnel_DownloadMOTCF(path.c_str(), port, 0) != 0, r.succeeds);
    remote.Stop();
    const std::string log = remote.Log();
    // InitCom's HELLO only: the download did not open the port.
    if (r.initComFirst) {
      EXPECT_EQ(Count(log, "HELLO\n"), 1) << log;
    }
    for (const char* request : {"DATA-DELTA", "DATA-DEFLATED", "MANIFEST", "ERASE"}) {
      const bool expected = *r.onTheLine != '\0' &&
                            (std::string(request) == r.onTheLine ||
                             std::string(request) == "MANIFEST" || std::string(request) == "ERASE");
      EXPECT_EQ(Count(log, std::string(request) + "\n") > 0, expected) << request << "\n" << log;
    }
    if (r.succeeds) {
      EXPECT_EQ(ReadBytes(remote.imageOut()), ImageOf(file));
    } else {
      EXPECT_NE(remote.ExitLine().find("image=valid"), std::string::npos) << remote.ExitLine();
    }
    EXPECT_NE(k2gtest::ReadText(supportLog).substr(before.size()).find(r.logged),
              std::string::npos);
  }
}

}  // namespace
