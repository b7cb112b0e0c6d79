// kestra2g-bench: how a download compares with the line rate and with the
// classic file transfer protocols, on one simulated line.
//
// Every transfer goes through the same relay of ours: 115200 baud 8N1
// (11,520 bytes a second each way), the device's bytes reaching the host
// 16 ms later, bits flipped at a seeded rate per byte in both directions, and
// a 4 KiB transmit buffer on the sending side (a pipe of that size for sz and
// rz; the library keeps at most that much unanswered). Reflint writes a
// firmware file through the real library into remote-emulator, compressed
// and as it is; Debian's lrzsz sends the same file with ZMODEM, YMODEM and
// XMODEM-1K. The payload is real machine code: the code section of a program
// on this machine (objcopy), or code-like sample bytes without one. Every run
// must end byte for byte right. Prints the share of the line rate (file
// bytes per second / 11,520) of each run.
//
// Usage: kestra2g-bench [--kib N] [--seeds N] [--no-peers] [--no-noise]
//                       [--only TEXT] [--emulator PATH]
// (--only runs the rows whose name contains TEXT.)

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Kestra2G.h"
#include "bench/line_relay.h"
#include "emulator/launcher/emulator_process.h"
#include "kestra2g/tools/code_like.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/key_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 3;
constexpr double kLineBytesPerSecond = 11520;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Runs a command, its output discarded; true when it succeeded.
bool Quietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The code section of a program on this machine, `size` bytes of it; code-like
// sample bytes when there is none.
std::vector<std::uint8_t> MachineCode(std::size_t size, const fs::path& work, std::string* from) {
  for (const char* program : {"cmake", "gdb", "python3", "bash"}) {
    const fs::path text = work / "text.bin";
    if (!Quietly(std::string("objcopy -O binary --only-section=.text \"$(command -v ") + program +
                 ")\" " + text.string())) {
      continue;
    }
    auto bytes = ReadBytes(text);
    fs::remove(text);
    if (bytes.size() >= size) {
      *from = std::string("the .text section of ") + program;
      bytes.resize(size);
      return bytes;
    }
  }
  *from = "code-like sample bytes";
  return sample::CodeLikeBytes(size, 7);
}

void Raw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
}

struct Outcome {
  bool ok = false;
  double seconds = 0;
};

// Reflint: the library writes `firmware` into remote-emulator through the relay.
Outcome RunReflint(const fs::path& firmware, bool deviceInflates, const bench::LineModel& line,
                   const std::string& emulatorPath, const fs::path& work) {
  const fs::path image = work / "image-out.bin";
  fs::remove(image);
  std::vector<std::string> args = {
      "--state", "bootloader",  "--family",     "HLX700", "--max-data",
      "2048",    "--image-out", image.string(), "--link", emulator::ComLinkPath(kPort + 1)};
  if (!deviceInflates) args.push_back("--no-deflate");
  auto started = emulator::EmulatorProcess::Start(emulatorPath, args);
  if (!started) {
    std::fprintf(stderr, "kestra2g-bench: %s\n", started.error().Describe().c_str());
    return {};
  }
  const auto& device = *started;
  const int deviceFd = open(device->slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  // The host's end: a pty of our own, reachable as COM3.
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (deviceFd < 0 || master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::fprintf(stderr, "kestra2g-bench: no pty: %s\n", std::strerror(errno));
    return {};
  }
  Raw(deviceFd);
  const std::string slavePath = ptsname(master);
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // no hang-ups
  Raw(slave);
  const fs::path link = emulator::ComLinkPath(kPort);
  fs::create_directories(link.parent_path());
  fs::remove(link);
  fs::create_symlink(slavePath, link);
  Outcome outcome;
  {
    bench::LineRelay relay({master, master}, {deviceFd, deviceFd}, line);
    const auto t0 = Clock::now();
    outcome.ok = Qarnel_DownloadMOTCF(firmware.c_str(), kPort, 0) != 0;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  }
  device->Stop();
  fs::remove(link);
  for (int fd : {slave, master, deviceFd}) close(fd);
  // Byte for byte, or it does not count.
  outcome.ok = outcome.ok && ReadBytes(image) == ReadBytes(firmware);
  return outcome;
}

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, const fs::path& dir) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(127);
  dup2(in, 0);
  dup2(out, 1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// Waits for the child until `deadline`; kills it then. True when it succeeded.
bool Reap(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// lrzsz: sz sends `file` to rz through the relay.
Outcome RunLrzsz(const fs::path& file, std::vector<std::string> sz, std::vector<std::string> rz,
                 const bench::LineModel& line, std::chrono::seconds limit, const fs::path& work) {
  const fs::path inbox = work / "rz";
  fs::remove_all(inbox);
  fs::create_directories(inbox);
  int toSz[2], fromSz[2], toRz[2], fromRz[2];
  for (int* p : {toSz, fromSz, toRz, fromRz}) {
    if (pipe2(p, O_CLOEXEC) != 0) return {};
  }
  // What a sender has written and the line has not carried yet: 4 KiB.
  fcntl(fromSz[1], F_SETPIPE_SZ, 4096);
  fcntl(fromRz[1], F_SETPIPE_SZ, 4096);
  sz.push_back(file.string());
  Outcome outcome;
  {
    bench::LineRelay relay({fromSz[0], toSz[1]}, {fromRz[0], toRz[1]}, line);
    const auto t0 = Clock::now();
    const pid_t receiver = Spawn(rz, toRz[0], fromRz[1], inbox);
    const pid_t sender = Spawn(sz, toSz[0], fromSz[1], file.parent_path());
    for (int fd : {toRz[0], fromRz[1], toSz[0], fromSz[1]}) close(fd);
    const bool received = Reap(receiver, t0 + limit);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const bool sent = Reap(sender, Clock::now() + std::chrono::seconds(received ? 10 : 0));
    outcome.ok = received && sent;
  }
  for (int fd : {toRz[1], fromRz[0], toSz[1], fromSz[0]}) close(fd);
  outcome.ok = outcome.ok && ReadBytes(inbox / file.filename()) == ReadBytes(file);
  return outcome;
}

struct Condition {
  std::string name;
  double flip;
  std::uint64_t seed;
};

struct Row {
  std::string name;
  std::function<Outcome(const bench::LineModel&)> run;
  bool cleanOnly = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::size_t kib = 256;
  int seeds = 4;
  bool peers = true, noise = true;
  std::string only;  // rows whose name contains this
  std::string emulatorPath = REMOTE_EMULATOR_PATH;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kib" && i + 1 < argc)
      kib = std::strtoul(argv[++i], nullptr, 10);
    else if (a == "--seeds" && i + 1 < argc)
      seeds = std::atoi(argv[++i]);
    else if (a == "--no-peers")
      peers = false;
    else if (a == "--no-noise")
      noise = false;
    else if (a == "--only" && i + 1 < argc)
      only = argv[++i];
    else if (a == "--emulator" && i + 1 < argc)
      emulatorPath = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: kestra2g-bench [--kib N] [--seeds N] [--no-peers] [--no-noise] "
                   "[--only TEXT] [--emulator PATH]\n");
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  char dir[] = "/tmp/kestra2g-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const fs::path work = dir;

  // The same bytes for everyone: a firmware file of our format, signed with
  // the development key as the samples are.
  std::ifstream keyIn(REFLINT_DEVELOPMENT_KEY);
  const std::string keyText{std::istreambuf_iterator<char>(keyIn),
                            std::istreambuf_iterator<char>()};
  const auto secret = wire::ParseSecretKeyFile(keyText);
  const auto publicKey = secret ? wire::Ed25519PublicKey(*secret) : std::nullopt;
  if (!publicKey) {
    std::fprintf(stderr, "kestra2g-bench: cannot read the key %s\n", REFLINT_DEVELOPMENT_KEY);
    return 1;
  }
  const wire::KeyPair key{*secret, *publicKey};
  auto signedFile = [&](std::uint8_t code, const char* family,
                        const std::vector<std::uint8_t>& payload) {
    return wire::BuildSignedFirmwareFile(code, family, "9.9.9", payload, key)
        .value_or(std::vector<std::uint8_t>{});
  };
  std::string from;
  const std::size_t payloadSize = kib * 1024 - wire::kSignedHeaderSize;
  const auto code = MachineCode(payloadSize, work, &from);
  const fs::path codeFile = work / "HLX700_code_V_9_9_9.bin";
  WriteBytes(codeFile, signedFile(0, "HLX700", code));
  std::vector<std::uint8_t> noiseBytes(payloadSize);
  std::uint32_t x = 12345;
  for (auto& b : noiseBytes) b = static_cast<std::uint8_t>((x = x * 1103515245U + 12345U) >> 23);
  const fs::path randomFile = work / "HLX700_random_V_9_9_9.bin";
  WriteBytes(randomFile, signedFile(0, "HLX700", noiseBytes));

  // What the library's file check costs: signature and hash of the whole
  // file, refused only at the family (a TQ640 file asked for as an HLX700),
  // so the port is never opened.
  const fs::path otherFamily = work / "TQ640_V_9_9_9.bin";
  WriteBytes(otherFamily, signedFile(1, "TQ640", code));
  std::vector<double> checkMs;
  for (int i = 0; i < 21; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (Qarnel_DownloadMOTCF(otherFamily.c_str(), kPort, 0) != 0) return 1;
    checkMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(checkMs.begin(), checkMs.end());
  std::printf(
      "Checking a %zu KiB signed firmware file (read, Ed25519, SHA-256): median %.2f ms, "
      "slowest %.2f ms of %zu\n\n",
      kib, checkMs[checkMs.size() / 2], checkMs.back(), checkMs.size());
  const double fileBytes = static_cast<double>(kib * 1024);
  const auto limit =
      std::chrono::seconds(static_cast<long>(8 * fileBytes / kLineBytesPerSecond) + 30);

  std::vector<Row> rows = {
      {"Reflint, compressed",
       [&](const auto& line) { return RunReflint(codeFile, true, line, emulatorPath, work); }},
      {"Reflint, device without deflate",
       [&](const auto& line) { return RunReflint(codeFile, false, line, emulatorPath, work); }},
      {"Reflint, random bytes (sent plain)",
       [&](const auto& line) { return RunReflint(randomFile, true, line, emulatorPath, work); },
       true},
  };
  if (peers) {
    rows.push_back({"ZMODEM (lrzsz)", [&](const auto& line) {
                      return RunLrzsz(codeFile, {"sz", "-q", "-b"}, {"rz", "-q", "-b", "-y"}, line,
                                      limit, work);
                    }});
    rows.push_back({"YMODEM (lrzsz)", [&](const auto& line) {
                      return RunLrzsz(codeFile, {"sz", "-q", "-b", "-k", "--ymodem"},
                                      {"rz", "-q", "-b", "-y", "--ymodem"}, line, limit, work);
                    }});
    rows.push_back({"XMODEM-1K (lrzsz)", [&](const auto& line) {
                      return RunLrzsz(
                          codeFile, {"sz", "-q", "-b", "--xmodem", "-k"},
                          {"rz", "-q", "-b", "-y", "--xmodem", "-c", codeFile.filename().string()},
                          line, limit, work);
                    }});
  }
  std::vector<Condition> conditions = {{"clean", 0, 1}};
  if (noise) {
    for (int s = 1; s <= seeds; ++s)
      conditions.push_back({"1e-4 s" + std::to_string(s), 1e-4, static_cast<std::uint64_t>(s)});
    conditions.push_back({"1e-3 s1", 1e-3, 1});
  }

  std::printf(
      "%zu KiB firmware file (%s); line 115200 baud 8N1 = %.0f B/s each way, 16 ms "
      "turnaround, 4 KiB transmit buffer; bit flips per byte, both directions.\n",
      kib, from.c_str(), kLineBytesPerSecond);
  std::printf(
      "Share of the line rate (file bytes per second / %.0f); FAILED: not byte for byte "
      "or not done in %lld s.\n\n",
      kLineBytesPerSecond, static_cast<long long>(limit.count()));
  std::printf("%-36s", "");
  for (const auto& c : conditions) std::printf(" %9s", c.name.c_str());
  if (seeds > 1 && noise) std::printf(" %9s", "1e-4 mean");  // of the runs that succeeded
  std::printf("\n");
  bool allOk = true;
  for (const auto& row : rows) {
    if (row.name.find(only) == std::string::npos) continue;
    std::printf("%-36s", row.name.c_str());
    std::fflush(stdout);
    double sum = 0;
    int counted = 0;
    for (const auto& c : conditions) {
      if (row.cleanOnly && c.flip > 0) {
        std::printf(" %9s", "-");
        continue;
      }
      bench::LineModel line;
      line.flipPerByte = c.flip;
      line.seed = c.seed;
      const Outcome o = row.run(line);
      const double share = o.ok ? 100.0 * fileBytes / o.seconds / kLineBytesPerSecond : 0;
      if (o.ok) {
        std::printf(" %8.1f%%", share);
      } else {
        std::printf(" %9s", "FAILED");
      }
      if (row.name.starts_with("Reflint")) allOk = allOk && o.ok;
      if (c.flip == 1e-4 && o.ok) {
        sum += share;
        ++counted;
      }
      std::fflush(stdout);
    }
    if (seeds > 1 && noise && counted > 0) std::printf(" %8.1f%%", sum / counted);
    std::printf("\n");
  }
  fs::remove_all(work);
  return allOk ? 0 : 1;
}
