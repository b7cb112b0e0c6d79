#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/child_process.h"

extern char** environ;

namespace platform {
namespace {

class PosixChild final : public ChildProcess {
 public:
  PosixChild(pid_t pid, int output) : pid_(pid), output_(output) {}
  ~PosixChild() override {
    close(output_);
    Wait();
  }

  bool Read(std::string& into) override {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(output_, buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
  }

  // Any thread, while another may wait.
  void Interrupt() override {
    std::lock_guard lock(mutex_);
    if (pid_ > 0) kill(pid_, SIGINT);
  }

  int Wait() override {
    pid_t pid = 0;
    {
      std::lock_guard lock(mutex_);
      if (pid_ <= 0) return code_;
      pid = pid_;
    }
    // The end is awaited without reaping: the id stays this child's until it
    // is reaped under the lock, so an interrupt never reaches a process that
    // has since been given the same id.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return code_;
  }

 private:
  std::mutex mutex_;
  pid_t pid_;  // 0 once reaped
  int output_;
  int code_ = -1;
};

}  // namespace

Result<std::unique_ptr<ChildProcess>> ChildProcess::Start(const std::string& exe,
                                                          const std::vector<std::string>& args) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return Fail(LastSystemFailure(exe, "make a pipe"));
  std::vector<std::string> words{exe};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int result = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (result != 0) {
    close(pipeEnds[0]);
    return Fail(SystemFailure(exe, "start", result));
  }
  return std::unique_ptr<ChildProcess>(std::make_unique<PosixChild>(pid, pipeEnds[0]));
}

}  // namespace platform
