#include "bench/zmodem_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, const fs::path& dir) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(127);
  dup2(in, 0);
  dup2(out, 1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// Waits for the child until `deadline`; kills it then. True when it succeeded.
bool Reap(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

PeerOutcome RunZmodem(const fs::path& file, const LineModel& line, std::chrono::seconds limit,
                      const fs::path& work) {
  const fs::path inbox = work / "rz";
  fs::remove_all(inbox);
  fs::create_directories(inbox);
  int toSz[2], fromSz[2], toRz[2], fromRz[2];
  for (int* p : {toSz, fromSz, toRz, fromRz}) {
    if (pipe2(p, O_CLOEXEC) != 0) return {};
  }
  // The smallest pipe the system makes (a page) is the first part of each
  // sender's buffer; the relay holds the rest.
  const int szPipe = std::max(0, fcntl(fromSz[1], F_SETPIPE_SZ, 4096));
  const int rzPipe = std::max(0, fcntl(fromRz[1], F_SETPIPE_SZ, 4096));
  PeerOutcome outcome;
  {
    LineRelay relay({fromSz[0], toSz[1], szPipe, -1}, {fromRz[0], toRz[1], rzPipe, -1}, line);
    const auto t0 = Clock::now();
    const pid_t receiver = Spawn({"rz", "-q", "-b", "-y"}, toRz[0], fromRz[1], inbox);
    const pid_t sender =
        Spawn({"sz", "-q", "-b", file.string()}, toSz[0], fromSz[1], file.parent_path());
    for (int fd : {toRz[0], fromRz[1], toSz[0], fromSz[1]}) close(fd);
    const bool received = Reap(receiver, t0 + limit);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const bool sent = Reap(sender, Clock::now() + std::chrono::seconds(received ? 10 : 0));
    outcome.ok = received && sent;
  }
  for (int fd : {toRz[1], fromRz[0], toSz[1], fromSz[0]}) close(fd);
  outcome.ok = outcome.ok && ReadBytes(inbox / file.filename()) == ReadBytes(file);
  return outcome;
}

}  // namespace bench
