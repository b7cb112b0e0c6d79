// A line that drops in any phase of any call: the call fails at once and
// waits without burning the processor meanwhile.

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Kestra2G.h"
#include "kestra2g/remote_fixture.h"

namespace {

using k2gtest::kPort;
using k2gtest::Remote;
using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// When the emulator closed the line, on the monotonic clock both share.
std::optional<Clock::time_point> DroppedAt(const std::string& log) {
  const auto at = log.find("DISCONNECT monotonic=");
  if (at == std::string::npos) return std::nullopt;
  const long long us = std::stoll(log.substr(at + 21));
  return Clock::time_point(std::chrono::microseconds(us));
}

struct Phase {
  const char* name;
  std::vector<std::string> emulatorArgs;
  std::function<unsigned char(const std::string& firmware)> call;
  friend void PrintTo(const Phase& p, std::ostream* os) { *os << p.name; }
};

unsigned char Download(const std::string& firmware) {
  return Qarnel_DownloadMOTCF(firmware.c_str(), kPort, 0);
}

class DroppedLine : public ::testing::TestWithParam<Phase> {};

TEST_P(DroppedLine, CallFailsAtOnceWithoutSpinning) {
  const Phase& phase = GetParam();
  // A paced line, so that the transfer before a drop is mostly waiting too.
  std::vector<std::string> args = {"--baud", "115200", "--turnaround-ms", "5"};
  args.insert(args.end(), phase.emulatorArgs.begin(), phase.emulatorArgs.end());
  const std::string firmware =
      k2gtest::WriteFirmware("HLX700_V_6_0_0.bin", 0, "HLX700", "6.0.0", 8 * 1024);
  Remote remote(args);
  ASSERT_TRUE(remote.started());

  const double cpu0 = ThreadCpuSeconds();
  const Clock::time_point t0 = Clock::now();
  const unsigned char ok = phase.call(firmware);
  const Clock::time_point t1 = Clock::now();
  const double cpu = ThreadCpuSeconds() - cpu0;
  remote.Stop();

  EXPECT_EQ(ok, 0);
  const auto dropped = DroppedAt(remote.Log());
  ASSERT_TRUE(dropped) << remote.Log();
  const double wall = std::chrono::duration<double>(t1 - t0).count();
  const double afterDrop = std::chrono::duration<double>(t1 - *dropped).count();
  std::printf("%-13s returned %6.2f ms after the drop; call %.3f s wall, %.4f s CPU\n", phase.name,
              afterDrop * 1e3, wall, cpu);
  EXPECT_LT(afterDrop, 1.0);
  // Generous bounds (opening the port scans for other holders): a spinning
  // wait burns all the time it waits.
  EXPECT_LT(cpu, 0.3 + 0.25 * wall);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, DroppedLine,
    ::testing::Values(
        Phase{"Hello",
              {"--state", "bootloader", "--fault", "disconnect:hello"},
              [](const std::string&) { return Qarnel_InitCom(kPort, 0); }},
        Phase{"Query",
              {"--fault", "disconnect:query"},
              [](const std::string&) {
                char info[255] = {};  // a long reply time-out, which a spin would burn
                return HLX700_GetBootInformation(3000, info, kPort);
              }},
        Phase{"CatchBoot",
              {"--state", "silent", "--fault", "disconnect:catch"},
              [](const std::string&) { return Qarnel_CatchBoot(kPort, 0); }},
        Phase{"EraseWait", {"--state", "bootloader", "--fault", "disconnect:erase"}, Download},
        Phase{"DataTransfer", {"--state", "bootloader", "--fault", "disconnect:50"}, Download},
        Phase{"VerifyWait", {"--state", "bootloader", "--fault", "disconnect:verify"}, Download},
        Phase{"Activate", {"--state", "bootloader", "--fault", "disconnect:activate"}, Download},
        // RESTART goes only to a boot loader without ACTIVATE's restart flag.
        Phase{
            "Restart",
            {"--state", "bootloader", "--no-restart-on-activate", "--fault", "disconnect:restart"},
            Download}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
