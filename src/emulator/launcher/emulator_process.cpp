#include "emulator/launcher/emulator_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/serial_port.h"

namespace emulator {

platform::Result<std::unique_ptr<EmulatorProcess>> EmulatorProcess::Start(
    const std::string& exe, const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return platform::Fail(platform::LastSystemFailure(exe, "pipe"));
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    platform::Error error = platform::LastSystemFailure(exe, "fork");
    close(out[0]);
    close(out[1]);
    return platform::Fail(std::move(error));
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  std::unique_ptr<EmulatorProcess> process(new EmulatorProcess(pid, {}));
  std::string line;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        giveUp - std::chrono::steady_clock::now());
    pollfd p{out[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (!line.starts_with("READY ") || line.find('\n') == std::string::npos) {
    // The destructor stops it.
    return platform::Fail(platform::Refusal(exe, "start", "did not get ready: " + line));
  }
  process->slave_ = line.substr(6, line.find('\n') - 6);
  return process;
}

void EmulatorProcess::Signal(int sig) const { kill(pid_, sig); }

bool EmulatorProcess::Exited() {
  if (reaped_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return reaped_;
}

int EmulatorProcess::Stop() {
  if (Exited()) return status_;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 300 && !Exited(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!Exited()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    reaped_ = true;
    status_ = -1;
  }
  return status_;
}

EmulatorProcess::~EmulatorProcess() { Stop(); }

namespace {

// The private configuration folder made for this process; it goes when the
// process ends, with the links, logs and scratch files in it.
class PrivateConfigHome {
 public:
  ~PrivateConfigHome() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  void MakeOnce() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (!path_.empty() || (xdg != nullptr && std::strstr(xdg, "/k2g-") != nullptr)) return;
    char dir[] = "/tmp/k2g-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    path_ = dir;
    setenv("XDG_CONFIG_HOME", dir, 1);
  }

 private:
  std::string path_;
};

}  // namespace

std::string ComLinkPath(int n) {
  static PrivateConfigHome home;
  home.MakeOnce();
  // Empty when even this cannot name the folder (no program name known).
  return platform::ComPortLinkPath(n);
}

}  // namespace emulator
