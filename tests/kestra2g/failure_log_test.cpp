// A failure leaves its cause in the support log: the C functions answer only
// 0 and the window says only that the update failed, so the log is where the
// reason goes. Each failure is provoked for real.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Kestra2G.h"
#include "app/upgrade_app.h"
#include "kestra2g/remote_fixture.h"
#include "platform/profile.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "ui/resource_ids.h"
#include "window/headless/headless_harness.h"
#include "window/window_types.h"

namespace {

namespace fs = std::filesystem;
using k2gtest::kPort;
using k2gtest::Remote;

enum class Provoke {
  Download,        // a firmware download on the port
  DownloadLocked,  // the same while another process holds the port's UUCP lock
  SavePort,        // the program starts and saves the first port it finds
};

struct Case {
  const char* name;
  std::vector<std::string> emulatorArgs;  // empty: no device on the port
  int port;
  Provoke provoke;
  // In the log's new lines, each as one of its " || " alternatives; "{port}"
  // stands for the port with its device, "{holder}" for the process that
  // holds the lock.
  std::vector<std::string> expected;
  friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

// Another program on the port, as minicom leaves it: a live process named
// in the UUCP lock file of the port's device.
class LockHolder {
 public:
  explicit LockHolder(const std::string& device) {
    // The pipe closes on exec: once it reads empty, the child is "sleep".
    int exec[2];
    if (pipe2(exec, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(exec[1]);
    char byte;
    while (read(exec[0], &byte, 1) < 0 && errno == EINTR) {
    }
    close(exec[0]);
    path_ = "/run/lock/LCK.." + fs::path(device).filename().string();
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid_));
    std::ofstream(path_) << text;
  }
  ~LockHolder() {
    fs::remove(path_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  bool ok() const { return pid_ > 0 && fs::exists(path_); }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The program's window on the headless backend, with a profile that cannot
// be written: where its folder should be is a regular file. (Tests run as
// root, who ignores permissions; a file in the folder's place stops root
// too.)
void StartProgramWithBlockedProfile() {
  const fs::path blocked = k2gtest::Scratch("blocked-profile");
  fs::remove_all(blocked);
  std::ofstream(blocked) << "not a folder";
  CUpgradeApp app(platform::Profile((blocked / "reflint.ini").string()));
  headless::HeadlessHarness ui;
  auto& b = ui.Driver();
  ui.Start([&] { app.InitInstance(); });
  ASSERT_TRUE(b.WaitForDialog(IDD_UPGRADE_DIALOG));
  ASSERT_TRUE(b.WaitForIdle());
  b.Click(IDD_UPGRADE_DIALOG, IDCANCEL);
  ASSERT_TRUE(ui.Join());
  fs::remove(blocked);
}

class FailureLog : public ::testing::TestWithParam<Case> {};

TEST_P(FailureLog, NamesTheCause) {
  const Case& c = GetParam();
  const std::string firmware =
      k2gtest::WriteFirmware("HLX700_V_6_1_0.bin", 0, "HLX700", "6.1.0", 16 * 1024);
  std::unique_ptr<Remote> remote;
  if (!c.emulatorArgs.empty()) {
    remote = std::make_unique<Remote>(c.emulatorArgs);
    ASSERT_TRUE(remote->started());
  }
  const std::string log = platform::SupportLogPath();
  const auto before = std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;

  std::string holder;
  switch (c.provoke) {
    case Provoke::Download:
      EXPECT_EQ(Qarnel_DownloadMOTCF(firmware.c_str(), c.port, 0), 0);
      break;
    case Provoke::DownloadLocked: {
      LockHolder lock(platform::ComPortDevice(c.port));
      ASSERT_TRUE(lock.ok()) << "cannot write a lock file into /run/lock";
      holder = std::to_string(lock.pid());
      EXPECT_EQ(Qarnel_DownloadMOTCF(firmware.c_str(), c.port, 0), 0);
      break;
    }
    case Provoke::SavePort:
      StartProgramWithBlockedProfile();
      break;
  }
  const std::string text = k2gtest::ReadText(log).substr(before);
  for (std::string expected : c.expected) {
    Replace(expected, "{port}", platform::PortText(c.port));
    Replace(expected, "{holder}", holder);
    bool found = false;
    for (std::size_t from = 0; !found && from <= expected.size();) {
      const std::size_t bar = std::min(expected.find(" || ", from), expected.size());
      found = text.find(expected.substr(from, bar - from)) != std::string::npos;
      from = bar + 4;
    }
    EXPECT_TRUE(found) << "no \"" << expected << "\" in\n" << text;
  }
  // The firmware's folder may name the user; only the file's name is kept.
  EXPECT_EQ(text.find(std::filesystem::path(firmware).parent_path().string()), std::string::npos)
      << text;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureLog,
    ::testing::Values(
        Case{"PortVanishes",
             // a paced line: the data behind the erase, the erase answered
             {"--state", "bootloader", "--baud", "115200", "--fault", "disconnect:40"},
             kPort,
             Provoke::Download,
             {"Qarnel_DownloadMOTCF: HLX700_V_6_1_0.bin to COM3", "job: Writing",
              // the read that finds the line gone, or a write sent ahead into it
              "failed in stage Writing: the line was dropped (data transfer, read: the other "
              "side hung up) || failed in stage Writing: the line was dropped (data transfer, "
              "write: Input/output error, system error 5)"}},
        Case{"RefusedErase",
             {"--state", "bootloader", "--fault", "erase-error"},
             kPort,
             Provoke::Download,
             {"failed in stage Erasing: the device refused (erase, status 4 (flash error))"}},
        Case{"PortMissing",
             {},
             14,
             Provoke::Download,
             {"failed in stage Connecting: the port could not be opened ({port}: open: "
              "No such file or directory, system error 2)"}},
        Case{"PortHeldThroughUucpLock",
             {"--state", "bootloader"},
             kPort,
             Provoke::DownloadLocked,
             {"failed in stage Connecting: the port could not be opened ({port}: held by process "
              "{holder} (sleep) through a UUCP lock file)"}},
        Case{"ProfileNotWritable",
             {"--state", "bootloader"},
             kPort,
             Provoke::SavePort,
             // the first port listed: COM3 unless this machine has a lower one
             {" was not saved: reflint.ini: open: Not a directory, system error 20"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
