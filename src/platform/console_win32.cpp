#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "platform/console.h"

namespace platform {
namespace {

std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  gInterrupted.store(true);
  return TRUE;
}

}  // namespace

bool IsTerminal(Stream stream) {
  FILE* file = stream == Stream::kIn ? stdin : stream == Stream::kOut ? stdout : stderr;
  return _isatty(_fileno(file)) != 0;
}

void CatchInterrupt() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return gInterrupted.load(); }

std::optional<std::string> ReadInputLine() {
  // The console ends a pending read with Ctrl+C itself.
  std::string line;
  if (Interrupted() || !std::getline(std::cin, line) || Interrupted()) return std::nullopt;
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

}  // namespace platform
