// One whole update run of Reflint.exe under wine against a remote on a
// serial port, driven from outside through window messages. Runs only when
// tests/window/win32_update_run.sh has put an emulated HLX700 boot loader on
// the port named by REFLINT_UPDATE_PORT and saved that port in the profile.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "ui/resource_ids.h"
#include "window/win32_test_support.h"

namespace win32_test {
namespace {

// Waits up to the given time for a condition checked every 50 ms.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

bool ControlVisible(HWND dialog, int id) {
  return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

TEST(ReflintUpdateRun, UpdatesTheDeviceAndReturnsToIdle) {
  const char* port = std::getenv("REFLINT_UPDATE_PORT");
  if (port == nullptr) GTEST_SKIP() << "needs tests/window/win32_update_run.sh";

  PROCESS_INFORMATION process{};
  ASSERT_TRUE(StartReflint(process));
  ProcessGuard guard(process);

  HWND main = WaitForProcessWindow(process.dwProcessId, "Reflint", nullptr);
  ASSERT_NE(main, nullptr);
  // The saved port is selected (a drop-down list's text is its selection).
  EXPECT_EQ(DialogItemText(main, IDC_PORT_LIST), std::string("COM") + port);

  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_START_UPDATE)));
  HWND confirm = WaitForProcessWindow(process.dwProcessId, "Confirmation", main);
  ASSERT_NE(confirm, nullptr);
  EXPECT_NE(DialogItemText(confirm, IDC_NEW_VERSION).find("2.1.0"), std::string::npos);
  PostMessageA(confirm, WM_COMMAND, IDOK, 0);

  // The transfer layout, then the result in a message box owned by the window.
  EXPECT_TRUE(
      WaitFor([&] { return ControlVisible(main, IDC_PROGRESS); }, std::chrono::seconds(20)));
  HWND result = WaitForProcessWindow(process.dwProcessId, "Reflint", main);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(DialogItemText(result, 0xFFFF), "The firmware has been updated successfully!\n");
  PostMessageA(result, WM_COMMAND, IDOK, 0);

  // Idle again: information shown, transfer controls hidden, Start Update usable.
  EXPECT_TRUE(
      WaitFor([&] { return ControlVisible(main, IDC_INFO) && !ControlVisible(main, IDC_PROGRESS); },
              std::chrono::seconds(20)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, IDC_START_UPDATE)));

  const std::optional<DWORD> exitCode = ExitThroughMainWindow(main, process);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
}

}  // namespace
}  // namespace win32_test
