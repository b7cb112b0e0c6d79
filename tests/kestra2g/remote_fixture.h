#pragma once
// An emulated remote on COM3 for tests that drive the real device library.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/launcher/emulator_process.h"
#include "kestra2g/tools/code_like.h"
#include "kestra2g/wire/firmware_file.h"
#include "support/development_keys.h"
#include "support/file_text.h"

namespace k2gtest {

inline constexpr int kPort = 3;

inline std::string Scratch(const std::string& name) {
  const std::filesystem::path dir =
      std::filesystem::path(emulator::ComLinkPath(kPort)).parent_path().parent_path();
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::string& path) { return testing_support::FileText(path); }

inline std::string WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = Scratch(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// A firmware file of our format with code-like content, signed with the
// development key, written into the scratch folder.
inline std::string WriteFirmware(const std::string& name, std::uint8_t code, const char* family,
                                 const char* version, std::size_t payloadSize,
                                 const wire::KeyPair& key = testkeys::Development()) {
  const auto payload = sample::CodeLikeBytes(payloadSize, code);
  const auto file = wire::BuildSignedFirmwareFile(code, family, version, payload, key);
  EXPECT_TRUE(file.has_value());
  return WriteBytes(name, file.value_or(std::vector<std::uint8_t>{}));
}

inline std::string Join(const std::vector<std::string>& words) {
  std::string all;
  for (const auto& w : words) all += w + " ";
  return all;
}

// The rate the line ran at when the first data frame arrived, and at the
// end, from the emulator's log ("RATE n" lines).
struct RatesSeen {
  int atData = 0;
  int atEnd = 0;
};

inline RatesSeen RatesInLog(const std::string& log) {
  RatesSeen seen{115200, 115200};
  bool data = false;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (const auto at = line.find(" RATE "); at != std::string::npos) {
      seen.atEnd = std::stoi(line.substr(at + 6));
    } else if (!data && (line.ends_with(" DATA") || line.ends_with(" DATA-DEFLATED"))) {
      data = true;
      seen.atData = seen.atEnd;
    }
  }
  return seen;
}

class Remote {
 public:
  // On COM`port`: the library keeps what failed on a port for the process.
  explicit Remote(std::vector<std::string> args, int port = kPort) {
    static int counter = 0;
    const std::string tag = std::to_string(++counter);
    log_ = Scratch("emulator-" + tag + ".log");
    imageOut_ = Scratch("image-" + tag + ".bin");
    std::filesystem::remove(imageOut_);
    args.insert(args.end(),
                {"--link", emulator::ComLinkPath(port), "--log", log_, "--image-out", imageOut_});
    auto started = emulator::EmulatorProcess::Start(REMOTE_EMULATOR_PATH, args);
    EXPECT_TRUE(started) << started.error().Describe();
    if (started) process_ = std::move(*started);
  }
  ~Remote() { Stop(); }

  bool started() const { return process_ != nullptr; }
  void PressReset() const { process_->Signal(SIGUSR1); }
  int Stop() { return process_ ? process_->Stop() : -1; }
  std::string Log() const { return ReadText(log_); }
  // The last "EXIT state=..." line the emulator wrote.
  std::string ExitLine() const {
    const std::string log = Log();
    const auto at = log.rfind("EXIT ");
    return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
  }
  const std::string& imageOut() const { return imageOut_; }

 private:
  std::unique_ptr<emulator::EmulatorProcess> process_;
  std::string log_;
  std::string imageOut_;
};

}  // namespace k2gtest
