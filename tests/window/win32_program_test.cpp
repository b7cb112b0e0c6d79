// The Windows program Reflint.exe as built: its version block, and a run
// driven from outside through window messages: main window, About box from
// the system menu, Exit.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/version_block.h"
#include "ui/resource_ids.h"
#include "window/win32_test_support.h"

namespace win32_test {
namespace {

TEST(ReflintProgram, CarriesTheVersionBlockOfTheRelease) {
  std::vector<std::uint8_t> block = platform::ReadVersionBlock(ReflintPathBesideThisTest());
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(platform::QueryVersionString(block, "\\StringFileInfo\\040904B0\\ProductVersion"),
            "2, 1, 3, 0");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00030000u);
}

bool WaitUntilGone(HWND hwnd) {
  for (int i = 0; i < 200 && IsWindow(hwnd); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return !IsWindow(hwnd);
}

TEST(ReflintProgram, ShowsItsMainWindowAndAboutBoxAndEndsOnExit) {
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(StartReflint(process));
  ProcessGuard guard(process);

  HWND main = WaitForProcessWindow(process.dwProcessId, "Reflint", nullptr);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(DialogItemText(main, IDC_START_UPDATE), "Start Update");
  EXPECT_EQ(DialogItemText(main, IDCANCEL), "Exit");
  EXPECT_NE(DialogItemText(main, IDC_INFO).find("\nSupported devices: \n"), std::string::npos);

  PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = WaitForProcessWindow(process.dwProcessId, "About Reflint", main);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(DialogItemText(about, IDC_TOOLNAME), "Reflint");
  EXPECT_EQ(DialogItemText(about, IDC_VERSION), "Version 2, 1, 3, 0");
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntilGone(about));

  const std::optional<DWORD> exitCode = ExitThroughMainWindow(main, process);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
}

}  // namespace
}  // namespace win32_test
