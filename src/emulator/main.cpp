// remote-emulator: one handheld remote on a pseudo-terminal (see --help).

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "emulator/line_session.h"
#include "emulator/options.h"
#include "emulator/pty.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int sig) {
  const char c = sig == SIGUSR1 ? 'R' : 'S';
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &c, 1);
  errno = saved;
}

bool InstallSignals() {
  if (pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1}) sigaction(sig, &sa, nullptr);
  signal(SIGHUP, SIG_IGN);  // our own pty closing must not end us
  signal(SIGPIPE, SIG_IGN);
  return true;
}

platform::Result<> MakeLink(const std::string& link, const std::string& target) {
  std::error_code ec;
  const std::filesystem::path path(link);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      return platform::Fail(platform::Refusal(link, {}, "exists and is no symlink"));
    }
    unlink(link.c_str());
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    return platform::Fail(platform::LastSystemFailure(link, "symlink"));
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  emulator::Options options;
  if (auto parsed = emulator::ParseOptions(argc, argv, options); !parsed) {
    std::fprintf(stderr, "remote-emulator: %s\n", parsed.error().Describe().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(emulator::UsageText().c_str(), stdout);
    return 0;
  }
  if (!InstallSignals() || !emulator::BecomeSessionLeader()) {
    std::fprintf(stderr, "remote-emulator: cannot start a session: %s\n", std::strerror(errno));
    return 1;
  }
  emulator::Pty pty;
  if (auto opened = pty.Open(); !opened) {
    std::fprintf(stderr, "remote-emulator: %s\n", opened.error().Describe().c_str());
    return 1;
  }
  if (!options.link.empty()) {
    if (auto linked = MakeLink(options.link, pty.slavePath()); !linked) {
      std::fprintf(stderr, "remote-emulator: %s\n", linked.error().Describe().c_str());
      return 1;
    }
  }
  std::FILE* log = nullptr;
  if (options.log == "-") {
    log = stderr;
  } else if (!options.log.empty()) {
    log = std::fopen(options.log.c_str(), "a");
    if (log == nullptr)
      std::fprintf(stderr, "remote-emulator: cannot open log %s\n", options.log.c_str());
  }
  std::printf("READY %s\n", pty.slavePath().c_str());
  std::fflush(stdout);
  const emulator::SessionEnd end =
      emulator::RunLineSession(options, pty.master(), gSignalPipe[0], log);
  pty.Close();
  if (!options.link.empty()) unlink(options.link.c_str());
  if (log != nullptr && log != stderr) std::fclose(log);
  return end == emulator::SessionEnd::Failed ? 1 : 0;
}
