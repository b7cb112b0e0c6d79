#include "bench/delta_part.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/emulator_log.h"
#include "bench/reflint_run.h"
#include "kestra2g/tools/delta_codec.h"
#include "kestra2g/wire/firmware_file.h"

namespace bench {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::optional<Bytes> Sign(const Bytes& payload, const char* version, const Bytes* deltaFrom,
                          const wire::KeyPair& key) {
  std::vector<wire::DeltaInput> inputs;
  Bytes delta;
  if (deltaFrom != nullptr) {
    auto made = delta::Make(*deltaFrom, payload);
    if (!made) {
      std::fprintf(stderr, "kestra2g-bench: %s\n", made.error().Describe().c_str());
      return std::nullopt;
    }
    delta = std::move(*made);
    inputs.push_back({wire::Sha256(*deltaFrom), delta});
  }
  return wire::BuildDeltaFirmwareFile(0, "HLX700", version, payload, 1, inputs, key);
}

// The stream's size as the library logged it ("... N bytes in place of M").
long StreamBytes(const CallOutcome& c) {
  for (const auto& line : c.libraryLog) {
    const auto at = line.find(" bytes in place of ");
    if (at == std::string::npos) continue;
    const auto start = line.rfind(' ', at - 1);
    return std::strtol(line.c_str() + start + 1, nullptr, 10);
  }
  return -1;
}

}  // namespace

bool RunDeltaPart(const DeltaPartOptions& o, const wire::KeyPair& key, const fs::path& work) {
  const Bytes oldPayload = ReadFile(o.oldPayload), newPayload = ReadFile(o.newPayload);
  if (oldPayload.empty() || newPayload.empty()) {
    std::fprintf(stderr, "kestra2g-bench: the pair %s, %s cannot be read\n", o.oldPayload.c_str(),
                 o.newPayload.c_str());
    return false;
  }
  const auto running = Sign(oldPayload, "1.0.0", nullptr, key);
  const auto whole = Sign(newPayload, "1.1.0", nullptr, key);
  const auto withDelta = Sign(newPayload, "1.1.0", &oldPayload, key);
  if (!running || !whole || !withDelta) return false;
  const fs::path runningFile = work / "HLX700_running_V_1_0_0.bin";
  const fs::path wholeFile = work / "HLX700_whole_V_1_1_0.bin";
  const fs::path deltaFile = work / "HLX700_delta_V_1_1_0.bin";
  if (!WriteFile(runningFile, *running) || !WriteFile(wholeFile, *whole) ||
      !WriteFile(deltaFile, *withDelta)) {
    return false;
  }
  std::printf(
      "\nDelta updates: %s (%zu bytes) running, %s (%zu bytes) written; line %d ms latency each "
      "way, %d-byte sender buffer; the whole Qarnel_DownloadMOTCF, medians of %d.\n\n",
      o.oldPayload.filename().c_str(), oldPayload.size(), o.newPayload.filename().c_str(),
      newPayload.size(), o.latencyMs, o.buffer, o.runs);
  std::printf(
      "| rates | whole image (compressed) | delta section | delta / whole | target |\n"
      "|---|---|---|---|---|\n");

  struct Row {
    const char* name;
    const char* rates;
    double target;
  };
  bool met = true;
  for (const Row& row : {Row{"115200 only", "115200", 0.30},
                         Row{"offering up to 921600", "115200,230400,460800,921600", 0.35}}) {
    RemoteModel remote;
    remote.rates = row.rates;
    remote.more = {"--initial-image", runningFile.string()};
    LineModel line;
    line.bytesPerSecond = 115200 / 10;
    line.latencyUp = line.latencyDown = std::chrono::milliseconds(o.latencyMs);
    line.senderBuffer = o.buffer;
    struct Measured {
      std::vector<double> seconds;
      long bytes = -1;
      bool ok = true;
    } measured[2];
    const fs::path files[2] = {wholeFile, deltaFile};
    for (int run = 0; run < o.runs; ++run) {
      for (int k = 0; k < 2; ++k) {
        const auto outcome = RunReflint(files[k], remote, line, 1, o.emulator, work).front();
        measured[k].ok = measured[k].ok && outcome.ok;
        measured[k].seconds.push_back(outcome.seconds);
        measured[k].bytes = StreamBytes(outcome);
        if (!outcome.ok) {
          for (const auto& l : outcome.libraryLog) std::printf("      library: %s\n", l.c_str());
          std::printf("      %s\n", Digest(outcome.log).c_str());
        }
      }
    }
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    const double wholeS = median(measured[0].seconds), deltaS = median(measured[1].seconds);
    const double share = deltaS / wholeS;
    const bool rowMet = measured[0].ok && measured[1].ok && share <= row.target;
    met = met && rowMet;
    std::printf("| %s | %s %.2f s, %ld bytes | %s %.2f s, %ld bytes | %.1f %% | ≤ %.0f %%: %s |\n",
                row.name, measured[0].ok ? "ok" : "FAILED", wholeS, measured[0].bytes,
                measured[1].ok ? "ok" : "FAILED", deltaS, measured[1].bytes, 100 * share,
                100 * row.target, rowMet ? "met" : "**missed**");
    std::fflush(stdout);
  }
  return met;
}

}  // namespace bench
