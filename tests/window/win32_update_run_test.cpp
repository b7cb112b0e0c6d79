// One whole update run of Reflint.exe under wine against a remote on a
// serial port, driven from outside through window messages. Runs only when
// tests/window/win32_update_run.sh has set up one of its roads: the port
// named by REFLINT_UPDATE_PORT saved in the profile, an emulated HLX700 on
// it (or no port there), REFLINT_UPDATE_ASKS what the program asks on the
// way (nothing, reset: the reset prompt, which the remote's RESET closes;
// family: the device choice, answered HLX700) and REFLINT_UPDATE_ENDS how
// the run ends (updated, not-detected).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "core/user_texts.h"
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

std::string Setting(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : otherwise;
}

// The message box owned by the main window, its text and OK pressed.
std::string AnswerResult(DWORD processId, HWND main) {
  HWND result = WaitForProcessWindow(processId, "Reflint", main);
  if (result == nullptr) return "(no message box)";
  const std::string text = DialogItemText(result, 0xFFFF);
  PostMessageA(result, WM_COMMAND, IDOK, 0);
  return text;
}

TEST(ReflintUpdateRun, FollowsTheRoadOfTheRemoteToItsEnd) {
  const char* port = std::getenv("REFLINT_UPDATE_PORT");
  if (port == nullptr) GTEST_SKIP() << "needs tests/window/win32_update_run.sh";
  const std::string asks = Setting("REFLINT_UPDATE_ASKS", "nothing");
  const std::string ends = Setting("REFLINT_UPDATE_ENDS", "updated");

  PROCESS_INFORMATION process{};
  ASSERT_TRUE(StartReflint(process));
  ProcessGuard guard(process);

  HWND main = WaitForProcessWindow(process.dwProcessId, "Reflint", nullptr);
  ASSERT_NE(main, nullptr);
  // The saved port is selected (a drop-down list's text is its selection);
  // every road that ends updated has its remote there.
  if (ends == "updated") {
    EXPECT_EQ(DialogItemText(main, IDC_PORT_LIST), std::string("COM") + port);
  }

  const auto pressed = std::chrono::steady_clock::now();
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_START_UPDATE)));
  if (asks == "reset") {
    // The prompt shows, and the remote's RESET closes it: nothing here
    // touches it.
    HWND prompt = WaitForProcessWindow(process.dwProcessId, "Reflint", main);
    ASSERT_NE(prompt, nullptr);
    EXPECT_NE(FindWindowExA(prompt, nullptr, "Static",
                            "The RESET button is located on the back of your device."),
              nullptr);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(prompt) || !IsWindowVisible(prompt); },
                        std::chrono::seconds(20)));
  } else if (asks == "family") {
    HWND choice = WaitForProcessWindow(process.dwProcessId, "Reflint: Select Device", main);
    ASSERT_NE(choice, nullptr);
    EXPECT_EQ(DialogItemText(choice, IDC_DEVICE_LIST), "HLX700");  // the first, preselected
    PostMessageA(choice, WM_COMMAND, IDOK, 0);
  }

  if (ends == "not-detected") {
    HWND box = WaitForProcessWindow(process.dwProcessId, "Reflint", main);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(DialogItemText(box, 0xFFFF), UserTextOf(UserText::NotDetected));
    std::cout << "not detected, shown "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count()
              << " s after Start Update\n";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, std::chrono::seconds(10)));
    // Then the port doctor's cause: the saved port is not there.
    const std::string cause = AnswerResult(process.dwProcessId, main);
    std::cout << "the doctor's cause: " << cause << "\n";
    EXPECT_NE(cause.find(std::string("COM") + port), std::string::npos) << cause;
  } else {
    HWND confirm = WaitForProcessWindow(process.dwProcessId, "Confirmation", main);
    ASSERT_NE(confirm, nullptr);
    EXPECT_NE(DialogItemText(confirm, IDC_NEW_VERSION).find("2.1.0"), std::string::npos);
    // Without identification the installed version is not known (no full
    // stop: no boot information either).
    if (asks == "family") {
      const std::string installed = DialogItemText(confirm, IDC_DEVICE_VERSION);
      EXPECT_NE(installed.find(UserTextOf(UserText::NothingAcquired)), std::string::npos);
      EXPECT_EQ(installed.find(UserTextOf(UserText::NotAcquired)), std::string::npos) << installed;
    }
    PostMessageA(confirm, WM_COMMAND, IDOK, 0);
    // The transfer layout, then the result in a message box owned by the window.
    EXPECT_TRUE(
        WaitFor([&] { return ControlVisible(main, IDC_PROGRESS); }, std::chrono::seconds(20)));
    EXPECT_EQ(AnswerResult(process.dwProcessId, main), UserTextOf(UserText::Updated));
  }

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
