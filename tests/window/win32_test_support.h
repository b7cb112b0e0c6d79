#pragma once
// Finding and reading the windows the Win32 backend makes, for its tests.
// Include after the window layer's headers (see win32_api.h).

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "window/win32/win32_api.h"

namespace win32_test {

struct OwnedBoxSearch {
  HWND owner;
  HWND found;
};

// A window callback has the system's calling convention, which a lambda
// lacks on 32-bit x86.
inline BOOL CALLBACK FindOwnedBoxStep(HWND hwnd, LPARAM context) {
  auto* s = reinterpret_cast<OwnedBoxSearch*>(context);
  char name[16] = {};
  GetClassNameA(hwnd, name, sizeof name);
  if (std::string(name) == "#32770" && GetWindow(hwnd, GW_OWNER) == s->owner) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The message box (dialog class #32770) owned by the given window, if open.
inline HWND FindOwnedMessageBox(HWND owner) {
  OwnedBoxSearch search{owner, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindOwnedBoxStep, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline std::string DialogItemText(HWND dialog, int id) {
  char text[512] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Reflint.exe, built into the same folder as the tests, or the one that
// REFLINT_EXE names (an installed program).
inline std::string ReflintPathBesideThisTest() {
  if (const char* installed = std::getenv("REFLINT_EXE"); installed != nullptr && *installed)
    return installed;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  path.resize(path.find_last_of('\\') + 1);
  path.append("Reflint.exe");
  return path;
}

// Starts that Reflint.exe.
inline bool StartReflint(PROCESS_INFORMATION& process) {
  // Quoted, built in steps (g++ 12 -O3 warns falsely on the concatenation).
  std::string commandLine = ReflintPathBesideThisTest();
  commandLine.insert(commandLine.begin(), '"');
  commandLine.push_back('"');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  process = PROCESS_INFORMATION{};
  return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process) != FALSE;
}

// A shown dialog window of the process with the given title and owner (none
// for a top-level window), waited for up to 20 s.
inline HWND WaitForProcessWindow(DWORD processId, const char* title, HWND owner) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (HWND hwnd = FindWindowExA(nullptr, nullptr, "#32770", title); hwnd != nullptr;
         hwnd = FindWindowExA(nullptr, hwnd, "#32770", title)) {
      DWORD process = 0;
      GetWindowThreadProcessId(hwnd, &process);
      if (process == processId && GetWindow(hwnd, GW_OWNER) == owner && IsWindowVisible(hwnd))
        return hwnd;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

// Presses Exit (the cancel command) on the program's main window and waits up
// to 20 s for the program to end: its exit code, or none when it did not end.
inline std::optional<DWORD> ExitThroughMainWindow(HWND main, const PROCESS_INFORMATION& process) {
  PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) return std::nullopt;
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  return exitCode;
}

// Ends a started program that is still running when the test is over.
class ProcessGuard {
 public:
  explicit ProcessGuard(const PROCESS_INFORMATION& info) : info_(info) {}
  ~ProcessGuard() {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  ProcessGuard(const ProcessGuard&) = delete;
  ProcessGuard& operator=(const ProcessGuard&) = delete;

 private:
  PROCESS_INFORMATION info_;
};

}  // namespace win32_test
