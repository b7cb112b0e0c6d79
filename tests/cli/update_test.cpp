// reflint-cli against emulated remotes: three at once with one line dropped
// mid-transfer, Ctrl+C during an update of every port, the questions asked
// on a terminal, an update no one can confirm, and the ways back: revert and
// an older file.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "emulator/launcher/emulator_process.h"
#include "platform/child_process.h"
#include "support/file_text.h"

namespace {

namespace fs = std::filesystem;

using testing_support::FileText;

class CliUpdate : public testing::Test {
 protected:
  CliUpdate() {
    // A configuration home of the test's own, where the COM links live and
    // reflint-cli writes its support log; no terminal on stdin, as in a script.
    char folder[] = "/tmp/reflint-cli-test-XXXXXX";
    home_ = mkdtemp(folder);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    EXPECT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  }
  ~CliUpdate() override {
    remotes_.clear();
    std::error_code ignored;
    fs::remove_all(home_, ignored);
  }

  fs::path Image(int port) const { return home_ / ("image-" + std::to_string(port) + ".bin"); }
  fs::path EmulatorLog(int port) const {
    return home_ / ("remote-" + std::to_string(port) + ".log");
  }

  fs::path Links() const { return home_ / "reflint-cli" / "dosdevices"; }

  void StartRemote(int port, std::vector<std::string> args) {
    const fs::path links = Links();
    fs::create_directories(links);
    args.insert(args.end(), {"--family", "HLX700", "--baud", "0", "--link",
                             (links / ("com" + std::to_string(port))).string(), "--image-out",
                             Image(port).string(), "--log", EmulatorLog(port).string()});
    auto started = emulator::EmulatorProcess::Start(REMOTE_EMULATOR_PATH, args);
    ASSERT_TRUE(started.has_value()) << started.error().Describe();
    remotes_.push_back(std::move(*started));
  }

  // Runs reflint-cli; its exit code, its stdout in *out.
  int Run(const std::vector<std::string>& args, std::string* out) {
    platform::Result<std::unique_ptr<platform::ChildProcess>> started =
        platform::ChildProcess::Start(REFLINT_CLI_PATH, args);
    if (!started) {
      ADD_FAILURE() << started.error().Describe();
      return -1;
    }
    std::unique_ptr<platform::ChildProcess>& cli = *started;
    while (cli->Read(*out)) {
    }
    return cli->Wait();
  }

  // What the remote's log says of its end: "bootloader", "application".
  std::string FinalState(int port) const {
    const std::string log = FileText(EmulatorLog(port));
    const std::size_t at = log.rfind("EXIT state=");
    if (at == std::string::npos) return "no EXIT line";
    const std::size_t begin = at + std::string_view("EXIT state=").size();
    return log.substr(begin, log.find(' ', begin) - begin);
  }

  static std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
      lines.push_back(nlohmann::json::parse(text.substr(begin, end - begin), nullptr, false));
      EXPECT_TRUE(lines.back().is_object()) << text.substr(begin, end - begin);
      EXPECT_EQ(lines.back().value("schema", ""), "reflint-cli/1");
    }
    EXPECT_EQ(begin, text.size()) << "stdout ends inside a line";
    return lines;
  }

  fs::path home_;
  std::vector<std::unique_ptr<emulator::EmulatorProcess>> remotes_;
};

TEST_F(CliUpdate, OneDroppedLineFailsAloneAndTheSummaryAgreesWithTheResults) {
  StartRemote(3, {"--state", "bootloader"});
  StartRemote(4, {"--state", "bootloader", "--fault", "disconnect:50"});
  StartRemote(5, {"--state", "application", "--app-version", "2.0.3", "--reset-after-ms", "300"});
  std::string out;
  EXPECT_EQ(Run({"update", "--port", "3-5", "--yes", "--json"}, &out), 1);

  const std::string firmware = FileText(SAMPLE_FIRMWARE);
  ASSERT_FALSE(firmware.empty());
  EXPECT_TRUE(FileText(Image(3)) == firmware) << "COM3 does not hold the firmware byte for byte";
  EXPECT_TRUE(FileText(Image(5)) == firmware) << "COM5 does not hold the firmware byte for byte";
  EXPECT_FALSE(FileText(Image(4)) == firmware);

  std::map<int, std::string> results;
  nlohmann::json summary;
  for (const nlohmann::json& line : JsonLines(out)) {
    if (line.value("event", "") == "result") results[line["port"].get<int>()] = line["result"];
    if (line.value("event", "") == "summary") summary = line;
  }
  EXPECT_EQ(results, (std::map<int, std::string>{{3, "updated"}, {4, "failed"}, {5, "updated"}}));
  ASSERT_TRUE(summary.is_object()) << out;
  EXPECT_EQ(summary["exit_code"], 1);
  std::map<int, std::string> summarised;
  for (const nlohmann::json& port : summary["ports"])
    summarised[port["port"].get<int>()] = port["result"];
  EXPECT_EQ(summarised, results);
  EXPECT_EQ(summary["left_in_boot_loader"], nlohmann::json::array({4}));
  EXPECT_EQ(summary["ports"][2]["installed"], "2.0.3");
  EXPECT_EQ(summary["ports"][2]["new"], "2.1.0");

  EXPECT_NE(FileText(EmulatorLog(3)).find("ERASE"), std::string::npos);

  // Each child's lines in the support log carry its port.
  const std::string log = FileText(home_ / "reflint-cli" / "reflint-cli.log");
  for (const char* tag :
       {"reflint-cli COM3: update ends: updated", "reflint-cli COM4: update ends: failed",
        "reflint-cli COM5: update ends: updated"})
    EXPECT_NE(log.find(tag), std::string::npos) << tag;

  // Saved, the output names the one port to run again.
  std::ofstream(home_ / "summary.jsonl") << out;
  out.clear();
  remotes_.erase(remotes_.begin(), remotes_.begin() + 2);
  fs::remove(Image(4));
  StartRemote(4, {"--state", "bootloader"});
  EXPECT_EQ(Run({"update", "--retry-failed", (home_ / "summary.jsonl").string(), "--yes", "--json"},
                &out),
            0)
      << out;
  EXPECT_TRUE(FileText(Image(4)) == firmware);
  const std::vector<nlohmann::json> retried = JsonLines(out);
  ASSERT_FALSE(retried.empty());
  EXPECT_EQ(retried.back()["ports"].size(), 1u);
}

// reflint-cli on a pseudo-terminal of its own, as a person runs it.
class Terminal {
 public:
  explicit Terminal(const std::vector<std::string>& args) {
    std::vector<std::string> all{"reflint-cli"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      execv(REFLINT_CLI_PATH, argv.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (master_ >= 0) close(master_);
    if (pid_ > 0) Wait();
  }

  // Reads until `text` has been shown; false when it is not within 20 s.
  bool WaitFor(const std::string& text) {
    while (shown_.find(text, looked_) == std::string::npos) {
      pollfd p{master_, POLLIN, 0};
      char buf[512];
      ssize_t n = 0;
      if (poll(&p, 1, 20000) <= 0 || (n = read(master_, buf, sizeof buf)) <= 0) return false;
      shown_.append(buf, static_cast<std::size_t>(n));
    }
    looked_ = shown_.find(text, looked_) + text.size();
    return true;
  }
  void Type(const std::string& keys) {
    EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Reads the rest; the exit code.
  int Wait() {
    WaitFor("the output's end, never shown");
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& shown() const { return shown_; }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  std::string shown_;
  std::size_t looked_ = 0;
};

// A remote that does not say whether it is an HLX700 or a TQ640 (their boot
// loaders answer alike): the person chooses, then confirms.
TEST_F(CliUpdate, OnATerminalThePersonChoosesTheFamilyAndConfirms) {
  struct Case {
    const char* family;   // typed at the family question
    const char* confirm;  // typed at the confirmation; nullptr: not asked
    int exitCode;
  };
  const Case cases[] = {
      {"\r", "y\r", 0},      // Enter takes the first, HLX700
      {"1\r", "n\r", 4},     //
      {"1\r", "\r", 4},      // Enter declines
      {"0\r", nullptr, 4},   // none of them
      {"1\r", "\x03", 130},  // Ctrl+C at the question
  };
  int port = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE("COM" + std::to_string(port));
    StartRemote(port, {"--state", "bootloader", "--no-answer", "product"});
    Terminal cli({"update", "--port", std::to_string(port)});
    ASSERT_TRUE(cli.WaitFor("Number (Enter: 1, 0: none): ")) << cli.shown();
    cli.Type(c.family);
    if (c.confirm != nullptr) {
      ASSERT_TRUE(cli.WaitFor("Update the HLX700 on COM" + std::to_string(port))) << cli.shown();
      ASSERT_TRUE(cli.WaitFor("[y/N] ")) << cli.shown();
      cli.Type(c.confirm);
    }
    EXPECT_EQ(cli.Wait(), c.exitCode) << cli.shown();
    if (c.confirm == nullptr) {
      EXPECT_EQ(cli.shown().find("Update the"), std::string::npos);
    }
    const bool erased = FileText(EmulatorLog(port)).find("ERASE") != std::string::npos;
    EXPECT_EQ(erased, c.exitCode == 0);
    EXPECT_EQ(FileText(Image(port)) == FileText(SAMPLE_FIRMWARE), c.exitCode == 0);
    ++port;
  }
}

// COM3 is mid-transfer when Ctrl+C comes, COM4 waits for RESET, COM5 has
// refused to erase; the machine's own serial ports are mapped to nothing, so
// that --all-ports finds these three alone.
TEST_F(CliUpdate, CtrlCLetsRunningDownloadsEndAndStartsNoOther) {
  fs::create_directories(Links());
  for (int port = 1; port <= 15; ++port)
    fs::create_symlink("/nonexistent/tty" + std::to_string(port),
                       Links() / ("com" + std::to_string(port)));
  StartRemote(3, {"--state", "bootloader", "--flash-write-ms-per-kb", "150"});
  StartRemote(4, {"--state", "application"});
  StartRemote(5, {"--state", "bootloader", "--fault", "erase-error"});

  auto started =
      platform::ChildProcess::Start(REFLINT_CLI_PATH, {"update", "--all-ports", "--yes", "--json"});
  ASSERT_TRUE(started) << started.error().Describe();
  platform::ChildProcess& cli = **started;
  std::string out;
  std::size_t parsed = 0;
  int percentAtInterrupt = -1;
  bool com5Ended = false;
  int percent = 0;
  while (cli.Read(out)) {
    for (std::size_t end; (end = out.find('\n', parsed)) != std::string::npos; parsed = end + 1) {
      const nlohmann::json line =
          nlohmann::json::parse(out.substr(parsed, end - parsed), nullptr, false);
      if (!line.is_object()) continue;
      if (line.value("event", "") == "result" && line.value("port", 0) == 5) com5Ended = true;
      if (line.value("event", "") == "progress" && line.value("port", 0) == 3)
        percent = line.value("percent", 0);
    }
    if (percentAtInterrupt < 0 && com5Ended && percent > 0) {
      percentAtInterrupt = percent;
      cli.Interrupt();
    }
  }
  EXPECT_EQ(cli.Wait(), 130) << out;
  ASSERT_GT(percentAtInterrupt, 0) << "never interrupted: " << out;
  EXPECT_LT(percentAtInterrupt, 100);

  std::map<int, std::string> results;
  nlohmann::json summary;
  for (const nlohmann::json& line : JsonLines(out)) {
    if (line.value("event", "") == "result") results[line["port"].get<int>()] = line["result"];
    if (line.value("event", "") == "summary") summary = line;
  }
  EXPECT_EQ(results,
            (std::map<int, std::string>{{3, "updated"}, {4, "interrupted"}, {5, "failed"}}));
  ASSERT_TRUE(summary.is_object()) << out;
  EXPECT_EQ(summary["exit_code"], 130);
  EXPECT_EQ(summary["left_in_boot_loader"], nlohmann::json::array({5}));

  // The download under way ran to its end; the remote waiting for RESET was
  // never erased; each remote is where the summary says.
  EXPECT_TRUE(FileText(Image(3)) == FileText(SAMPLE_FIRMWARE));
  EXPECT_EQ(FileText(EmulatorLog(4)).find("ERASE"), std::string::npos);
  EXPECT_FALSE(fs::exists(Image(4)));
  for (const auto& remote : remotes_) EXPECT_EQ(remote->Stop(), 0);
  for (const nlohmann::json& port : summary["ports"]) {
    const int n = port["port"].get<int>();
    EXPECT_EQ(FinalState(n), port["in_boot_loader"].get<bool>() ? "bootloader" : "application")
        << "COM" << n;
  }
}

TEST_F(CliUpdate, WithoutATerminalAndWithoutYesNothingIsErased) {
  StartRemote(3, {"--state", "bootloader"});
  std::string out;
  EXPECT_EQ(Run({"update", "--port", "3", "--json"}, &out), 2);
  const std::vector<nlohmann::json> lines = JsonLines(out);
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_EQ(lines[0]["event"], "identified");
  EXPECT_EQ(lines[1]["event"], "result");
  EXPECT_EQ(lines[1]["result"], "needs-answer");
  EXPECT_NE(lines[1]["message"].get<std::string>().find("--yes"), std::string::npos);
  EXPECT_FALSE(fs::exists(Image(3)));
  EXPECT_EQ(FileText(EmulatorLog(3)).find("ERASE"), std::string::npos);
}

// Back to the image kept from before the last update, and forward to an
// older file: each only when asked. A "kept" remote started with 1.0.0 and
// was then updated to the sample 2.1.0, so that it keeps 1.0.0; a fresh one
// holds only its initial image. RESET comes 200 ms after the first refusal.
TEST_F(CliUpdate, RevertAndOlderFilesGoBackOnlyWhenAsked) {
  const fs::path older = home_ / "HLX700_V_1_0_0.bin";
  {
    std::ofstream(home_ / "older.payload") << std::string(20000, 'o');
    std::string signOut;
    ASSERT_EQ(
        platform::ChildProcess::Start(
            REFLINT_SIGN_PATH, {"sign", "--key", SIGNING_KEY, "--family", "HLX700", "--version",
                                "1.0.0", (home_ / "older.payload").string(), "-o", older.string()})
            .value()
            ->Wait(),
        0);
  }
  struct Case {
    const char* name;
    const char* initial;  // "older" or "sample"
    bool kept;            // updated to the sample first
    std::vector<std::string> args;
    const char* typed;  // at the question on a terminal; nullptr: no terminal
    int exitCode;
    std::vector<std::string> said;  // in the run's last support-log line
    const char* runsAfter;          // what the remote's application then says it runs
    bool erased;
    bool reverted;
  };
  const std::string file = older.string();
  const Case cases[] = {
      {"revert --yes",
       "older",
       true,
       {"revert", "--yes"},
       nullptr,
       0,
       {"reverted: the HLX700 runs 1.0.0 again"},
       "1.0.0",
       false,
       true},
      {"revert, confirmed",
       "older",
       true,
       {"revert"},
       "y\r",
       0,
       {"runs 1.0.0 again"},
       "1.0.0",
       false,
       true},
      {"revert, declined",
       "older",
       true,
       {"revert"},
       "n\r",
       4,
       {"not confirmed", "nothing was"},
       "2.1.0",
       false,
       false},
      {"revert, no one to ask",
       "older",
       true,
       {"revert"},
       nullptr,
       2,
       {"runs 2.1.0; revert to 1.0.0?", "--yes"},
       "2.1.0",
       false,
       false},
      {"revert, nothing kept",
       "older",
       false,
       {"revert", "--yes"},
       nullptr,
       1,
       {"no valid previous image to revert to", "nothing was changed"},
       "1.0.0",
       false,
       false},
      {"update to an older file",
       "sample",
       false,
       {"update", "--yes", "--file", file},
       nullptr,
       2,
       {"runs 2.1.0, newer than the file's 1.0.0", "--allow-older", "nothing was erased"},
       "2.1.0",
       false,
       false},
      {"update to an older file, allowed",
       "sample",
       false,
       {"update", "--yes", "--file", file, "--allow-older"},
       nullptr,
       0,
       {"updated"},
       "1.0.0",
       true,
       false},
  };
  const fs::path supportLog = home_ / "reflint-cli" / "reflint-cli.log";
  int port = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string com = std::to_string(port);
    StartRemote(port, {"--state", "bootloader", "--reset-after-ms", "200", "--initial-image",
                       std::string(c.initial) == "older" ? file : SAMPLE_FIRMWARE});
    std::string out;
    if (c.kept) {
      ASSERT_EQ(Run({"update", "--port", com, "--yes"}, &out), 0);
    }
    const std::size_t remoteBefore = FileText(EmulatorLog(port)).size();

    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, {"--port", com});
    if (c.typed != nullptr) {
      Terminal cli(args);
      ASSERT_TRUE(cli.WaitFor("The HLX700 on COM" + com + " runs 2.1.0; revert to 1.0.0? [y/N] "))
          << cli.shown();
      cli.Type(c.typed);
      EXPECT_EQ(cli.Wait(), c.exitCode) << cli.shown();
    } else {
      EXPECT_EQ(Run(args, &out), c.exitCode);
    }
    // The run's last line; the library may write a count of repeated lines after it.
    const std::string log = FileText(supportLog);
    const std::string tag = c.args.front() + " ends";
    const std::size_t end = log.rfind("reflint-cli COM" + com + ": " + tag);
    ASSERT_NE(end, std::string::npos) << log;
    const std::string last = log.substr(end, log.find('\n', end) - end);
    for (const std::string& text : c.said) EXPECT_NE(last.find(text), std::string::npos) << last;

    const std::string remote = FileText(EmulatorLog(port)).substr(remoteBefore);
    EXPECT_EQ(remote.find("ERASE") != std::string::npos, c.erased) << remote;
    EXPECT_EQ(remote.find("REVERT to 1.0.0") != std::string::npos, c.reverted) << remote;
    out.clear();
    ASSERT_EQ(Run({"info", "--port", com, "--json"}, &out), 0) << out;
    const std::vector<nlohmann::json> info = JsonLines(out);
    ASSERT_EQ(info.size(), 1u) << out;
    EXPECT_EQ(info[0]["installed"], c.runsAfter) << out;
    // Started after a revert or an update; in the boot loader RESET or the test left it in.
    EXPECT_EQ(info[0]["boot_loader"], c.exitCode != 0) << out;
    ++port;
  }
}

}  // namespace
