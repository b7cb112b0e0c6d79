// kestra2g-bench: how close a download comes to the line rate.
//
// Writes a 256 KiB image through the real library into remote-emulator
// pacing bytes as a 115200 baud 8N1 line with 16 ms turnaround, clean and
// with bit flips, and prints payload throughput as a share of the line rate
// and the library's CPU time as a share of the wall time.
//
// Usage: kestra2g-bench [--kib N] [--emulator PATH]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Kestra2G.h"
#include "emulator/launcher/emulator_process.h"
#include "kestra2g/wire/firmware_file.h"

namespace {

constexpr int kPort = 3;
constexpr int kBaud = 115200;
constexpr double kLineBytesPerSecond = kBaud / 10.0;  // 8N1: ten bits a byte
constexpr int kDataBlock = 2048;
constexpr int kFrameBytes = kDataBlock + 4 + 12;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Case {
  const char* name;
  double flipPerByte;
  int seed;
};

bool RunCase(const Case& c, const std::string& emulatorPath, const std::string& firmware,
             std::size_t imageBytes) {
  std::vector<std::string> args = {"--state",         "bootloader",
                                   "--family",        "HLX700",
                                   "--baud",          std::to_string(kBaud),
                                   "--turnaround-ms", "16",
                                   "--max-data",      std::to_string(kDataBlock),
                                   "--seed",          std::to_string(c.seed),
                                   "--link",          emulator::ComLinkPath(kPort)};
  if (const char* log = std::getenv("KESTRA2G_BENCH_LOG")) args.insert(args.end(), {"--log", log});
  if (c.flipPerByte > 0) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "flip:%.8f", c.flipPerByte);
    args.insert(args.end(), {"--fault", rate});
  }
  std::string error;
  auto device = emulator::EmulatorProcess::Start(emulatorPath, args, &error);
  if (!device) {
    std::fprintf(stderr, "kestra2g-bench: %s\n", error.c_str());
    return false;
  }
  const double cpuThread0 = CpuSeconds(RUSAGE_THREAD);
  const double cpuProcess0 = CpuSeconds(RUSAGE_SELF);
  const auto t0 = std::chrono::steady_clock::now();
  const unsigned char ok = Qarnel_DownloadMOTCF(firmware.c_str(), kPort, 0);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpuThread = CpuSeconds(RUSAGE_THREAD) - cpuThread0;
  const double cpuProcess = CpuSeconds(RUSAGE_SELF) - cpuProcess0;
  device->Stop();
  const double rate = static_cast<double>(imageBytes) / wall;
  std::printf(
      "%-34s %-7s %7.2f s %8.0f B/s %6.1f %% of line  CPU %.3f s = %.2f %% of wall"
      " (process %.2f %%)\n",
      c.name, ok != 0 ? "ok" : "FAILED", wall, rate, 100.0 * rate / kLineBytesPerSecond, cpuThread,
      100.0 * cpuThread / wall, 100.0 * cpuProcess / wall);
  return ok != 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t kib = 256;
  std::string emulatorPath = REMOTE_EMULATOR_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--kib") == 0) kib = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--emulator") == 0) emulatorPath = argv[i + 1];
  }
  const std::size_t imageBytes = kib * 1024;
  std::vector<std::uint8_t> payload(imageBytes - wire::kFirmwareHeaderSize);
  std::uint32_t x = 12345;
  for (auto& b : payload) b = static_cast<std::uint8_t>((x = x * 1103515245U + 12345U) >> 23);
  const auto file = wire::BuildFirmwareFile(0, "HLX700", "9.9.9", payload);
  const std::string firmware =
      (std::filesystem::temp_directory_path() / "kestra2g-bench-HLX700.bin").string();
  if (std::FILE* f = std::fopen(firmware.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  std::printf("image %zu bytes, line %d baud 8N1 (%.0f B/s), turnaround 16 ms, %d-byte blocks\n",
              imageBytes, kBaud, kLineBytesPerSecond, kDataBlock);
  // "1 % bit flips": one data frame in a hundred carries a flipped bit; the
  // percentages in brackets are the share of data frames hit.
  const Case cases[] = {
      {"clean", 0.0, 1},
      {"bit flips, 1 % of frames, seed 1", 0.01 / kFrameBytes, 1},
      {"bit flips, 1 % of frames, seed 2", 0.01 / kFrameBytes, 2},
      {"bit flips, 1 % of frames, seed 3", 0.01 / kFrameBytes, 3},
      {"bit flips, 1e-5 per byte (2 %)", 1e-5, 1},
      {"bit flips, 1e-4 per byte, seed 1", 1e-4, 1},
      {"bit flips, 1e-4 per byte, seed 2", 1e-4, 2},
      {"bit flips, 1e-4 per byte, seed 3", 1e-4, 3},
      {"bit flips, 1e-4 per byte, seed 4", 1e-4, 4},
      {"bit flips, 1e-3 per byte, seed 1", 1e-3, 1},
  };
  bool all = true;
  const char* only = std::getenv("KESTRA2G_BENCH_CASE");
  int index = 0;
  for (const Case& c : cases)
    if (only == nullptr || std::atoi(only) == index++)
      all = RunCase(c, emulatorPath, firmware, imageBytes) && all;
  std::filesystem::remove(firmware);
  return all ? 0 : 1;
}
