// kestra2g-bench: the download through the real device library over a
// modelled serial line, side by side with ZMODEM on the same line, and over
// remotes that take long to answer.
//
// The line (line_relay.h), per direction: a fixed latency, the byte time of
// the rate both ends run (8N1: a tenth of the baud rate in bytes a second),
// a sender's buffer (4 KiB unless told: the writer blocks while it is full,
// as with a USB-serial adapter's FIFO) and seeded bit flips. The remote is
// remote-emulator; how long it takes to answer is its --turnaround-ms.
//
// Part "table": the cases of a 256 KiB file (random bytes; code-like
// sample bytes and a program's machine code, compressed), Reflint's share
// of the line against ZMODEM's (lrzsz) on the same model. Part "matrix": a
// small random file for each answer time x line latency x rates the remote
// offers, each cell the time and whether it ended byte for byte. Each part
// checks its targets and shows the emulator's log of a case that misses one.
// Part "delta" (with --pair OLD NEW, two builds of one program, as
// tools/bench/delta-pair makes them): the update from one to the other with
// and without its delta section (delta_part.h).
//
// Usage: kestra2g-bench [--part table|matrix|delta] [--pair OLD NEW] [--kib N]
//                       [--matrix-kib N] [--buffer BYTES] [--latency MS] [--runs N]
//                       [--only TEXT] [--no-peers] [--explain] [--emulator PATH]
// (--only runs the table's rows whose name holds TEXT; --explain shows the
// emulator's log of every call, not only of those that miss a target.)

#include <signal.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Kestra2G.h"
#include "bench/delta_part.h"
#include "bench/emulator_log.h"
#include "bench/line_relay.h"
#include "bench/reflint_run.h"
#include "bench/zmodem_run.h"
#include "emulator/launcher/emulator_process.h"
#include "kestra2g/tools/code_like.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/key_file.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kOffered = "115200,230400,460800,921600";

struct Options {
  bool table = true, matrix = true, delta = false;
  std::string pairOld, pairNew;  // --pair: the delta part's firmware pair
  std::size_t kib = 256, matrixKib = 16;
  int buffer = 4096;
  int latencyMs = 16;
  int runs = 1;
  bool peers = true, explain = false;
  std::string only;  // table rows whose name holds this
  std::string emulator = REMOTE_EMULATOR_PATH;
};

// The command line, as CLI11 reads it; nothing when the program is to end
// there with `status` (its help, or its message on a bad command line).
std::optional<Options> Parse(int argc, char** argv, int& status) {
  Options o;
  CLI::App app("The download through the real device library over a modelled serial line.",
               "kestra2g-bench");
  std::string part;
  std::vector<std::string> pair;
  app.add_option("--part", part, "one part only")
      ->check(CLI::IsMember({"table", "matrix", "delta"}));
  app.add_option("--pair", pair, "the delta part's firmware pair: OLD NEW")->expected(2);
  app.add_option("--kib", o.kib, "the table's file size")->check(CLI::Range(8, 1 << 20));
  app.add_option("--matrix-kib", o.matrixKib, "the matrix's file size")
      ->check(CLI::Range(8, 1 << 20));
  app.add_option("--buffer", o.buffer, "sender's buffer, bytes")->check(CLI::PositiveNumber);
  app.add_option("--latency", o.latencyMs, "line latency each way, ms")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--runs", o.runs, "runs of each table row")->check(CLI::PositiveNumber);
  app.add_option("--only", o.only, "the table's rows whose name holds this");
  app.add_flag_callback(
      "--no-peers", [&o] { o.peers = false; }, "without ZMODEM");
  app.add_flag("--explain", o.explain, "the emulator's log of every call");
  app.add_option("--emulator", o.emulator, "remote-emulator to run");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    status = app.exit(e) == 0 ? 0 : 2;
    return std::nullopt;
  }
  if (!part.empty()) {
    o.table = part == "table";
    o.matrix = part == "matrix";
    o.delta = part == "delta";
  }
  if (!pair.empty()) {
    o.pairOld = pair[0];
    o.pairNew = pair[1];
    // With a pair the delta part runs too, unless a part was named.
    if (part.empty()) o.delta = true;
  }
  if (o.delta && o.pairOld.empty()) {
    std::fprintf(stderr, "kestra2g-bench: the delta part needs --pair OLD NEW\n");
    status = 2;
    return std::nullopt;
  }
  return o;
}

bool WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Runs a command, its output discarded; true when it succeeded.
bool Quietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The code section of a program on this machine, `size` bytes of it (the
// data the compressed gain was first measured on); empty when there is none.
std::vector<std::uint8_t> MachineCode(std::size_t size, const fs::path& work, std::string* from) {
  for (const char* program : {"cmake", "gdb", "python3", "bash"}) {
    const fs::path text = work / "text.bin";
    if (!Quietly(std::string("objcopy -O binary --only-section=.text \"$(command -v ") + program +
                 ")\" " + text.string())) {
      continue;
    }
    std::ifstream in(text, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    fs::remove(text);
    if (bytes.size() >= size) {
      *from = std::string("the .text section of ") + program;
      bytes.resize(size);
      return bytes;
    }
  }
  return {};
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = 12345;
  for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245U + 12345U) >> 23);
  return bytes;
}

// Signed firmware files of our format, as the samples are (development key).
class FirmwareMaker {
 public:
  bool Ready() {
    std::ifstream in(REFLINT_DEVELOPMENT_KEY);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto secret = wire::ParseSecretKeyFile(text);
    const auto publicKey = secret ? wire::Ed25519PublicKey(*secret) : std::nullopt;
    if (!publicKey) return false;
    key_ = wire::KeyPair{*secret, *publicKey};
    return true;
  }
  const wire::KeyPair& key() const { return *key_; }
  // A file of exactly `kib` KiB holding `payload(size)`.
  template <class Payload>
  fs::path Make(const fs::path& path, std::size_t kib, std::uint8_t code, const char* family,
                Payload payload) const {
    const auto bytes = wire::BuildSignedFirmwareFile(
        code, family, "9.9.9", payload(kib * 1024 - wire::kSignedHeaderSize), *key_);
    return bytes && WriteBytes(path, *bytes) ? path : fs::path();
  }

 private:
  std::optional<wire::KeyPair> key_;
};

struct Model {
  int latencyMs;
  int buffer;
  double flip = 0;
};

bench::LineModel Line(const Model& m, int baud) {
  bench::LineModel line;
  line.bytesPerSecond = baud / 10;
  line.latencyUp = line.latencyDown = std::chrono::milliseconds(m.latencyMs);
  line.senderBuffer = m.buffer;
  line.flipPerByte = m.flip;
  return line;
}

// "921600, 460800" or "none".
std::string RatesText(const std::vector<int>& rates) {
  if (rates.empty()) return "none";
  std::string text;
  for (const int r : rates) text += (text.empty() ? "" : ", ") + std::to_string(r);
  return text;
}

std::string Percent(const std::vector<double>& shares) {
  if (shares.empty()) return "-";
  // Cut, not rounded, to the tenth: a share shown as 96.0 % is at least that.
  const auto [lowest, highest] = std::minmax_element(shares.begin(), shares.end());
  const double low = std::floor(*lowest * 10) / 10, high = std::floor(*highest * 10) / 10;
  char text[64];
  if (high - low < 0.05) {
    std::snprintf(text, sizeof text, "%.1f %%", low);
  } else {
    std::snprintf(text, sizeof text, "%.1f–%.1f %%", low, high);
  }
  return text;
}

// One row of the throughput table.
struct Case {
  std::string name;
  fs::path file;
  bench::RemoteModel remote;
  int lineBaud;  // what the share refers to, and ZMODEM's rate
  Model model;
  double target;  // Reflint's share at least, in % (0: a target of its own below)
  bool peer;      // ZMODEM runs this case (else it shares the first row's)
};

struct CaseResult {
  std::vector<bench::CallOutcome> calls;  // Reflint, all runs, each run's calls in a row
  std::vector<double> reflint, zmodem;    // shares of the successful runs, %
  bool allOk = true;                      // every Reflint run byte for byte at its rate
  bool peerOk = true;                     // every ZMODEM run byte for byte in time
};

void ShowCall(const char* who, const bench::CallOutcome& c, double fileBytes, int lineBaud) {
  const double data = bench::DataSeconds(c.log);
  const auto spacing = bench::DataSpacing(c.log);
  std::printf(
      "    %s: %s, %.3f s; data at %d, %.3f s at the device (%.1f %% of the line), a frame "
      "every %.1f ms (90 %%: %.1f ms); the rest %.3f s; host buffer at most %ld bytes\n",
      who, c.ok ? "byte for byte" : "FAILED", c.seconds, bench::DataRate(c.log), data,
      data > 0 ? 100.0 * fileBytes / data / (lineBaud / 10.0) : 0.0, 1000 * spacing.median,
      1000 * spacing.p90, c.seconds - data, c.largestHostBuffer);
}

// Why a call failed, in the library's own words.
void ShowLibraryLog(const bench::CallOutcome& c) {
  for (const auto& line : c.libraryLog) std::printf("      library: %s\n", line.c_str());
}

bool RunTable(const Options& o, const FirmwareMaker& maker, const fs::path& work) {
  const fs::path random =
      maker.Make(work / "HLX700_random_V_9_9_9.bin", o.kib, 0, "HLX700", RandomBytes);
  const fs::path codeLike = maker.Make(work / "HLX700_code_V_9_9_9.bin", o.kib, 0, "HLX700",
                                       [](std::size_t n) { return sample::CodeLikeBytes(n, 7); });
  std::string from;
  const fs::path machine = maker.Make(work / "HLX700_machine_V_9_9_9.bin", o.kib, 0, "HLX700",
                                      [&](std::size_t n) { return MachineCode(n, work, &from); });
  // What the library's file check costs: signature and hash of the whole
  // file, refused only at the family (a TQ640 file asked for as an HLX700),
  // so the port is never opened.
  const fs::path other = maker.Make(work / "TQ640_V_9_9_9.bin", o.kib, 1, "TQ640",
                                    [](std::size_t n) { return sample::CodeLikeBytes(n, 7); });
  if (random.empty() || codeLike.empty() || other.empty()) return false;
  std::vector<double> checkMs;
  for (int i = 0; i < 21; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (Qarnel_DownloadMOTCF(other.c_str(), 3, 0) != 0) return false;
    checkMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(checkMs.begin(), checkMs.end());
  std::printf(
      "Checking a %zu KiB signed firmware file (read, Ed25519, SHA-256): median %.2f ms, "
      "slowest %.2f ms of %zu\n\n",
      o.kib, checkMs[checkMs.size() / 2], checkMs.back(), checkMs.size());

  const Model base{o.latencyMs, o.buffer};
  bench::RemoteModel only;  // a remote at 115200 only, answering at once
  bench::RemoteModel offering = only;
  offering.rates = kOffered;
  bench::RemoteModel cable = offering;  // garbles every byte above 115200
  cable.more = {"--fault", "rate-limit:115200"};
  std::vector<Case> cases = {
      {"remote at 115200 only, clean", random, only, 115200, base, 98, true},
      {"remote at 115200 only, 1e-4 bit flips per byte",
       random,
       only,
       115200,
       {o.latencyMs, o.buffer, 1e-4},
       88,
       true},
      {"remote offering faster rates, cable carrying only 115200", random, cable, 115200, base, 0,
       false},
      {"remote at 115200 only, 50 ms latency each way",
       random,
       only,
       115200,
       {50, o.buffer},
       96,
       true},
      {"negotiated 921600, clean", random, offering, 921600, base, 95, true},
      {"code-like sample bytes, compressed, remote at 115200 only", codeLike, only, 115200, base,
       240, true},
  };
  if (!machine.empty()) {
    cases.push_back({"machine code (" + from + "), compressed, remote at 115200 only", machine,
                     only, 115200, base, 240, true});
  }
  enum { kClean, kNoise, kCable, kLatency, kFast };
  const double fileBytes = static_cast<double>(o.kib * 1024);
  std::printf(
      "Throughput: a %zu KiB signed firmware file; line %d ms latency each way unless the row "
      "says, %d-byte sender buffer each way, the remote answering at once. \"%% of the "
      "line\" = payload bytes (the whole file, %.0f) / (line rate / 10 bytes per second) / "
      "elapsed seconds; Reflint's elapsed time is the whole Qarnel_DownloadMOTCF, ZMODEM's "
      "from starting sz and rz to rz's end. Load average at the start: %s.\n\n",
      o.kib, o.latencyMs, o.buffer, fileBytes, LoadAverage().c_str());
  std::printf("| case | Reflint | ZMODEM, same model | target | |\n|---|---|---|---|---|\n");
  std::fflush(stdout);
  std::vector<CaseResult> results(cases.size());
  bool met = true;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    CaseResult& r = results[i];
    if (c.name.find(o.only) == std::string::npos) continue;
    const int calls = i == kCable ? 2 : 1;  // the second: what the library learnt
    const int rateWanted = c.lineBaud;
    for (int run = 0; run < o.runs; ++run) {
      auto outcomes =
          bench::RunReflint(c.file, c.remote, Line(c.model, 115200), calls, o.emulator, work);
      const auto& first = outcomes.front();
      const bool ok = first.ok && bench::DataRate(first.log) == rateWanted;
      r.allOk = r.allOk && ok && outcomes.back().ok;
      if (ok) r.reflint.push_back(100.0 * fileBytes / first.seconds / (c.lineBaud / 10.0));
      r.calls.insert(r.calls.end(), outcomes.begin(), outcomes.end());
      if (o.peers && c.peer) {
        const auto limit =
            std::chrono::seconds(static_cast<long>(8 * fileBytes / (c.lineBaud / 10.0)) + 30);
        const auto z = bench::RunZmodem(c.file, Line(c.model, c.lineBaud), limit, work);
        if (z.ok) r.zmodem.push_back(100.0 * fileBytes / z.seconds / (c.lineBaud / 10.0));
        r.peerOk = r.peerOk && z.ok;
      }
    }
    if (!c.peer) {  // the same line and file
      r.zmodem = results[kClean].zmodem;
      r.peerOk = results[kClean].peerOk;
    }
    const double worst =
        r.reflint.empty() ? 0 : *std::min_element(r.reflint.begin(), r.reflint.end());
    const double bestPeer =
        r.zmodem.empty() ? 0 : *std::max_element(r.zmodem.begin(), r.zmodem.end());
    const bool rowMet = r.allOk && worst >= c.target && (!o.peers || worst > bestPeer);
    met = met && rowMet;
    char target[64];
    std::snprintf(target, sizeof target, c.target > 0 ? "≥ %.0f %%" : "at most +0.2 s (below)",
                  c.target);
    std::printf("| %s | %s%s | %s%s | %s%s | %s |\n", c.name.c_str(), r.allOk ? "" : "FAILED ",
                Percent(r.reflint).c_str(),
                !o.peers   ? "not run"
                : r.peerOk ? ""
                           : "FAILED ",
                o.peers ? Percent(r.zmodem).c_str() : "", target,
                o.peers ? ", ahead of ZMODEM" : "",
                !rowMet        ? "**missed**"
                : c.target > 0 ? "met"
                               : "see below");
    std::fflush(stdout);
  }

  // The cable that carries only 115200: the cost of the failed tries, and
  // the next call in the same process.
  std::printf("\n");
  bool cableMet = true;
  const bool cableRan = !results[kClean].calls.empty() && !results[kCable].calls.empty();
  for (int run = 0; cableRan && run < o.runs; ++run) {
    const auto& plain = results[kClean].calls[static_cast<std::size_t>(run)];
    const auto& tried = results[kCable].calls[static_cast<std::size_t>(2 * run)];
    const auto& again = results[kCable].calls[static_cast<std::size_t>(2 * run + 1)];
    const double extra = tried.seconds - plain.seconds;
    const double extraAgain = again.seconds - plain.seconds;
    const auto first = bench::RaisedRatesTried(tried.log);
    const auto second = bench::RaisedRatesTried(again.log);
    // Every rate the first call tried failed: the cable carries none.
    const auto triesAgain = std::ranges::count_if(
        second, [&](int r) { return std::ranges::find(first, r) != first.end(); });
    cableMet = cableMet && tried.ok && again.ok && extra <= 0.2 && triesAgain == 0;
    std::printf(
        "Cable carrying only 115200, remote offering up to 921600: the first call tried %s and "
        "took %.3f s, %+.3f s against the remote at 115200 only (target at most +0.2 s); the "
        "second call in the same process tried %s, %d of them again (target 0), and took "
        "%.3f s, %+.3f s (%s).\n",
        RatesText(first).c_str(), tried.seconds, extra, RatesText(second).c_str(),
        static_cast<int>(triesAgain), again.seconds, extraAgain,
        again.ok ? "byte for byte" : "FAILED");
  }
  if (cableRan) {
    std::printf("Cable targets: %s\n", cableMet ? "met" : "**missed**");
  } else if (!results[kCable].calls.empty()) {
    // Its cost is measured against the remote at 115200 only.
    std::printf("Cable targets: not compared (the row \"%s\" did not run)\n",
                cases[kClean].name.c_str());
    met = false;
  }
  met = met && cableMet;

  std::printf("\nWhere Reflint's time went (the device's log):\n");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (results[i].calls.empty()) continue;
    std::printf("  %s\n", cases[i].name.c_str());
    for (std::size_t k = 0; k < results[i].calls.size(); ++k) {
      const auto& call = results[i].calls[k];
      const char* who = i == kCable ? (k % 2 == 0 ? "first call" : "second call") : "call";
      ShowCall(who, call, fileBytes, cases[i].lineBaud);
      if (o.explain || !met) std::printf("      %s\n", bench::Digest(call.log).c_str());
      if (!call.ok) ShowLibraryLog(call);
    }
  }
  std::printf("Load average at the end: %s\n", LoadAverage().c_str());
  return met;
}

bool RunMatrix(const Options& o, const FirmwareMaker& maker, const fs::path& work) {
  const fs::path file =
      maker.Make(work / "HLX700_small_V_9_9_9.bin", o.matrixKib, 0, "HLX700", RandomBytes);
  if (file.empty()) return false;
  const int answers[] = {0, 16, 50, 100, 200, 500, 1000};
  const int latencies[] = {0, 16, 50};
  std::printf(
      "\nAnswer-time matrix: a %zu KiB signed file of random bytes; the remote answers T ms "
      "after each request (--turnaround-ms) and runs 115200 only or offers up to 921600 "
      "(the rate the data went at in brackets); the line has the column's latency each way "
      "and a %d-byte sender buffer. Each cell: the whole Qarnel_DownloadMOTCF, ok when the "
      "remote holds the file byte for byte. Load average at the start: %s.\n\n",
      o.matrixKib, o.buffer, LoadAverage().c_str());
  std::printf("| T (ms) |");
  for (int l : latencies) std::printf(" %d ms, 115200 only | %d ms, offered |", l, l);
  std::printf("\n|---|");
  for (std::size_t i = 0; i < 2 * std::size(latencies); ++i) std::printf("---|");
  std::printf("\n");
  std::fflush(stdout);
  struct Cell {
    int answer, latency;
    bool offered;
    bench::CallOutcome call;
  };
  std::vector<Cell> cells;
  for (int t : answers) {
    std::printf("| %d |", t);
    for (int l : latencies) {
      for (const bool offered : {false, true}) {
        bench::RemoteModel remote;
        remote.rates = offered ? kOffered : "115200";
        remote.answerMs = t;
        auto call = std::move(
            bench::RunReflint(file, remote, Line({l, o.buffer}, 115200), 1, o.emulator, work)
                .front());
        if (offered) {
          std::printf(" %s %.2f s (%d) |", call.ok ? "ok" : "FAILED", call.seconds,
                      bench::DataRate(call.log));
        } else {
          std::printf(" %s %.2f s |", call.ok ? "ok" : "FAILED", call.seconds);
        }
        std::fflush(stdout);
        cells.push_back({t, l, offered, std::move(call)});
      }
    }
    std::printf("\n");
  }
  bool allOk = true;
  for (const auto& c : cells) allOk = allOk && c.call.ok;
  std::printf("\nEvery cell byte for byte: %s\n", allOk ? "met" : "**missed**");
  bool slowMet = true;
  for (int l : latencies) {
    const Cell* plain = nullptr;
    const Cell* raised = nullptr;
    for (const auto& c : cells) {
      if (c.answer != 200 || c.latency != l) continue;
      (c.offered ? raised : plain) = &c;
    }
    const bool ok =
        plain->call.ok && raised->call.ok && raised->call.seconds <= plain->call.seconds + 1.0;
    slowMet = slowMet && ok;
    std::printf(
        "Answering in 200 ms, %d ms latency: offered %.2f s against 115200 only %.2f s + 1 s: "
        "%s\n",
        l, raised->call.seconds, plain->call.seconds, ok ? "met" : "**missed**");
  }
  for (const auto& c : cells) {
    const bool slowCase = c.answer == 200 && !slowMet;
    if (o.explain || !c.call.ok || slowCase) {
      std::printf("  T %d ms, %d ms latency, %s: %s %.3f s: %s\n", c.answer, c.latency,
                  c.offered ? "offered" : "115200 only", c.call.ok ? "ok" : "FAILED",
                  c.call.seconds, bench::Digest(c.call.log).c_str());
      if (!c.call.ok) ShowLibraryLog(c.call);
    }
  }
  std::printf("Load average at the end: %s\n", LoadAverage().c_str());
  return allOk && slowMet;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const auto options = Parse(argc, argv, status);
  if (!options) return status;
  signal(SIGPIPE, SIG_IGN);
  // A private configuration folder before the library's first call, which
  // fixes where its support log goes: never the user's own.
  emulator::ComLinkPath(3);
  char dir[] = "/tmp/kestra2g-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const fs::path work = dir;
  FirmwareMaker maker;
  if (!maker.Ready()) {
    std::fprintf(stderr, "kestra2g-bench: cannot read the key %s\n", REFLINT_DEVELOPMENT_KEY);
    return 1;
  }
  bool met = true;
  if (options->table) met = RunTable(*options, maker, work) && met;
  if (options->matrix) met = RunMatrix(*options, maker, work) && met;
  if (options->delta) {
    met = bench::RunDeltaPart({options->pairOld, options->pairNew, options->latencyMs,
                               options->buffer, options->runs, options->emulator},
                              maker.key(), work) &&
          met;
  }
  std::printf("\nAll targets %s\n", met ? "met" : "not met (see above)");
  fs::remove_all(work);
  return met ? 0 : 1;
}
