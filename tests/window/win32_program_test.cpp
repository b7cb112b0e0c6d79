// The Windows program Reflint.exe as built: its version block, and a run
// driven from outside through window messages: main window, About box from
// the system menu, Exit.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/exe_path.h"
#include "platform/version_block.h"
#include "ui/resource_ids.h"
#include "window/win32_test_support.h"

namespace win32_test {
namespace {

// The program is built into the same folder as this test.
std::string ReflintPath() {
  const std::string self = platform::ExecutablePath();
  std::string path = self.substr(0, self.find_last_of('\\') + 1);
  path.append("Reflint.exe");
  return path;
}

TEST(ReflintProgram, CarriesTheVersionBlockOfTheRelease) {
  std::vector<std::uint8_t> block = platform::ReadVersionBlock(ReflintPath());
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

// A shown top-level window of the process with the given title.
HWND WaitForWindow(DWORD processId, const char* title) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (HWND hwnd = FindWindowExA(nullptr, nullptr, "#32770", title); hwnd != nullptr;
         hwnd = FindWindowExA(nullptr, hwnd, "#32770", title)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(hwnd, &owner);
      if (owner == processId && IsWindowVisible(hwnd)) return hwnd;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

bool WaitUntilGone(HWND hwnd) {
  for (int i = 0; i < 200 && IsWindow(hwnd); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return !IsWindow(hwnd);
}

class ProcessGuard {
 public:
  explicit ProcessGuard(const PROCESS_INFORMATION& info) : info_(info) {}
  ~ProcessGuard() {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }

 private:
  PROCESS_INFORMATION info_;
};

TEST(ReflintProgram, ShowsItsMainWindowAndAboutBoxAndEndsOnExit) {
  // Quoted, built in steps (g++ 12 -O3 warns falsely on the concatenation).
  std::string commandLine = ReflintPath();
  commandLine.insert(commandLine.begin(), '"');
  commandLine.push_back('"');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  ProcessGuard guard(process);

  HWND main = WaitForWindow(process.dwProcessId, "Reflint");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(DialogItemText(main, IDC_START_UPDATE), "Start Update");
  EXPECT_EQ(DialogItemText(main, IDCANCEL), "Exit");
  EXPECT_NE(DialogItemText(main, IDC_INFO).find("\nSupported devices: \n"), std::string::npos);

  PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = WaitForWindow(process.dwProcessId, "About Reflint");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(DialogItemText(about, IDC_TOOLNAME), "Reflint");
  EXPECT_EQ(DialogItemText(about, IDC_VERSION), "Version 2, 1, 3, 0");
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntilGone(about));

  PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace win32_test
