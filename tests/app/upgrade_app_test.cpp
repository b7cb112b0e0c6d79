// The program on the headless backend with real serial ports: pseudo
// terminals linked as the program's COM ports, one of them held by another
// program; the saved port lands in the real profile file.
#include "app/upgrade_app.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>

#include "platform/exe_path.h"
#include "support/scoped_variable.h"
#include "ui/resource_ids.h"
#include "window/headless/headless_harness.h"
#include "window/window_types.h"

namespace {

namespace fs = std::filesystem;

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
};

class UpgradeAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = fs::temp_directory_path() / ("reflint-app-" + std::to_string(getpid()));
    fs::remove_all(config_);
    const fs::path devices = config_ / platform::ExecutableBaseName() / "dosdevices";
    fs::create_directories(devices);
    // Every COM number is linked, so no real port of this machine is probed;
    // only COM3, COM5 and COM12 lead to a terminal.
    for (int n = 1; n <= 15; ++n) {
      std::string target = "/nonexistent/tty" + std::to_string(n);
      if (n == 3 || n == 5 || n == 12) {
        Pty& pty = ptys_[n];
        char name[256] = {};
        ASSERT_EQ(openpty(&pty.master, &pty.slave, name, nullptr, nullptr), 0);
        pty.path = name;
        target = name;
      }
      fs::create_symlink(target, devices / ("com" + std::to_string(n)));
    }
    // Another program holds COM5.
    busy_ = open(ptys_[5].path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(busy_, 0);
    ASSERT_EQ(flock(busy_, LOCK_EX | LOCK_NB), 0);

    configHome_.emplace("XDG_CONFIG_HOME", config_.string());
  }
  void TearDown() override {
    configHome_.reset();
    if (busy_ >= 0) close(busy_);
    fs::remove_all(config_);
  }

  fs::path config_;
  std::map<int, Pty> ptys_;
  int busy_ = -1;
  std::optional<testing_support::ScopedVariable> configHome_;
};

TEST_F(UpgradeAppTest, StartsListsFreePortsSavesTheChoiceAndEndsOnExit) {
  CUpgradeApp app;
  std::atomic<int> returned{-1};
  headless::HeadlessHarness ui;
  auto& b = ui.Driver();
  ui.Start([&] { returned = app.InitInstance() ? 1 : 0; });
  ASSERT_TRUE(b.WaitForDialog(IDD_UPGRADE_DIALOG));
  ASSERT_TRUE(b.WaitForIdle());

  const auto list = b.Control(IDD_UPGRADE_DIALOG, IDC_PORT_LIST);
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items[0].text, "COM3");
  EXPECT_EQ(list.items[1].text, "COM12");
  EXPECT_EQ(list.curSel, 0);
  const platform::Profile profile = platform::Profile::ForThisProgram();
  EXPECT_EQ(profile.Path(),
            (config_ / platform::ExecutableBaseName() / (platform::ExecutableBaseName() + ".ini"))
                .string());
  EXPECT_EQ(profile.GetInt("Settings", "COM", 0), 3);

  b.SelectListItem(IDD_UPGRADE_DIALOG, IDC_PORT_LIST, 1);
  ASSERT_TRUE(b.WaitForIdle());
  EXPECT_EQ(profile.GetInt("Settings", "COM", 0), 12);

  b.Click(IDD_UPGRADE_DIALOG, IDCANCEL);
  ASSERT_TRUE(ui.Join());
  EXPECT_EQ(returned, 0);
  EXPECT_TRUE(b.OpenDialogs().empty());
}

}  // namespace
