#include "bench/reflint_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "Kestra2G.h"
#include "emulator/launcher/emulator_process.h"
#include "kestra2g/wire/firmware_file.h"
#include "platform/support_log.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

// COM3 first; each run of calls then a port of its own (and the emulator's
// link the next), as the library keeps for the process which rates failed on
// a port: runs stay apart as separate programs would.
int NextPort() {
  static int next = 3;
  const int port = next;
  next += 2;
  return port;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::uint8_t> ImageOf(std::vector<std::uint8_t> file) {
  wire::FirmwareHeader header;
  if (wire::ParseFirmwareHeader(file, &header) == wire::FirmwareCheck::Ok &&
      header.imageSize() < file.size()) {
    file.resize(header.imageSize());
  }
  return file;
}

void Raw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
}

// A descriptor closed when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::vector<CallOutcome> RunReflint(const fs::path& firmware, const RemoteModel& remote,
                                    LineModel line, int calls, const std::string& emulatorPath,
                                    const fs::path& work) {
  std::vector<CallOutcome> outcomes(static_cast<std::size_t>(calls));
  const int port = NextPort();
  // The host's end: a pty of our own, reachable as COMn, the same port for
  // every call of the run. The slave is held open so that the line outlives each
  // call's port, and to stop the library's writes while the sender's buffer
  // is full.
  const Fd master{posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
  if (master.fd < 0 || grantpt(master.fd) != 0 || unlockpt(master.fd) != 0) {
    std::fprintf(stderr, "kestra2g-bench: no pty: %s\n", std::strerror(errno));
    return outcomes;
  }
  const std::string slavePath = ptsname(master.fd);
  const Fd slave{open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};
  Raw(slave.fd);
  const fs::path link = emulator::ComLinkPath(port);
  fs::create_directories(link.parent_path());
  fs::remove(link);
  fs::create_symlink(slavePath, link);
  const std::string supportLog = platform::SupportLogPath();
  const fs::path image = work / "image-out.bin";
  const fs::path log = work / "emulator.log";
  std::vector<std::string> args = {"--state",         "bootloader",
                                   "--family",        "HLX700",
                                   "--rates",         remote.rates,
                                   "--turnaround-ms", std::to_string(remote.answerMs),
                                   "--log",           log.string(),
                                   "--image-out",     image.string(),
                                   "--link",          emulator::ComLinkPath(port + 1)};
  args.insert(args.end(), remote.more.begin(), remote.more.end());
  if (!remote.inflates) args.push_back("--no-deflate");
  // Each call meets the remote as it was, in its boot loader, through the
  // same port and cable.
  for (CallOutcome& o : outcomes) {
    fs::remove(image);
    fs::remove(log);
    auto started = emulator::EmulatorProcess::Start(emulatorPath, args);
    if (!started) {
      std::fprintf(stderr, "kestra2g-bench: %s\n", started.error().Describe().c_str());
      break;
    }
    const auto& device = *started;
    const Fd deviceFd{open(device->slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};
    if (deviceFd.fd < 0) break;
    Raw(deviceFd.fd);
    // The line starts at 115200 and follows the rate the library sets.
    Raw(master.fd);
    line.followRateOf = master.fd;
    line.mirrorRateTo = deviceFd.fd;
    const std::size_t supportLogged = ReadLines(supportLog).size();
    {
      LineRelay relay({master.fd, master.fd, 0, slave.fd}, {deviceFd.fd, deviceFd.fd, 0, -1}, line);
      const auto t0 = std::chrono::steady_clock::now();
      o.ok = Qarnel_DownloadMOTCF(firmware.c_str(), port, 0) != 0;
      o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      o.largestHostBuffer = relay.largestHostBuffer();
    }
    device->Stop();
    // Byte for byte, or it does not count: the image the device holds is the
    // file's header and payload (a format 3 file's delta sections follow).
    o.ok = o.ok && ReadBytes(image) == ImageOf(ReadBytes(firmware));
    o.log = ReadLines(log);
    auto lines = ReadLines(supportLog);
    o.libraryLog.assign(lines.begin() + static_cast<long>(std::min(supportLogged, lines.size())),
                        lines.end());
  }
  fs::remove(link);
  return outcomes;
}

}  // namespace bench
