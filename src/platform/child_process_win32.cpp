#include <windows.h>

#include "platform/child_process.h"

namespace platform {
namespace {

// One argument as the C runtime of the child splits its command line again.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

class Win32Child final : public ChildProcess {
 public:
  Win32Child(HANDLE process, HANDLE output) : process_(process), output_(output) {}
  ~Win32Child() override {
    CloseHandle(output_);
    Wait();
    CloseHandle(process_);
  }

  bool Read(std::string& into) override {
    char buffer[4096];
    DWORD n = 0;
    if (!ReadFile(output_, buffer, sizeof buffer, &n, nullptr) || n == 0) return false;
    into.append(buffer, n);
    return true;
  }

  void Interrupt() override {}

  int Wait() override {
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
  }

 private:
  HANDLE process_;
  HANDLE output_;
};

}  // namespace

Result<std::unique_ptr<ChildProcess>> ChildProcess::Start(const std::string& exe,
                                                          const std::vector<std::string>& args) {
  SECURITY_ATTRIBUTES inherit{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    return Fail(LastSystemFailure(exe, "make a pipe"));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::string commandLine = Quoted(exe);
  for (const std::string& arg : args) {
    commandLine += ' ';
    commandLine += Quoted(arg);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &info);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return Fail(SystemFailure(exe, "start", static_cast<long>(startError)));
  }
  CloseHandle(info.hThread);
  return std::unique_ptr<ChildProcess>(std::make_unique<Win32Child>(info.hProcess, readEnd));
}

}  // namespace platform
