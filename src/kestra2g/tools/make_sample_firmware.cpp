// make-sample-firmware OUTDIR: writes the sample firmware files the program
// ships with, one per family, with deterministic content.

#include <cstdio>
#include <string>
#include <vector>

#include "kestra2g/tools/code_like.h"
#include "kestra2g/wire/firmware_file.h"
#include "platform/path_text.h"

namespace {

struct Sample {
  const char* fileName;
  std::uint8_t deviceCode;
  const char* family;
  const char* version;
  std::size_t payloadSize;
};

constexpr Sample kSamples[] = {
    {"HLX700_V_2_1_0.bin", 0, "HLX700", "2.1.0", 24 * 1024},
    {"MV5100_V_3_05.bin", 2, "MV5100", "3.05", 16 * 1024},
    {"TQ640_V_4_0_1.bin", 1, "TQ640", "4.0.1", 20 * 1024},
    {"KII_V_1_0_2.bin", 3, "KII", "1.0.2", 12 * 1024},
};

std::vector<std::uint8_t> Payload(const Sample& s) {
  // Code-like, so a compressed download shows what it gains; the same every build.
  return sample::CodeLikeBytes(s.payloadSize, 0x1234567U + s.deviceCode);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-firmware OUTDIR\n");
    return 2;
  }
  for (const Sample& s : kSamples) {
    const auto file = wire::BuildFirmwareFile(s.deviceCode, s.family, s.version, Payload(s));
    const std::string path = platform::JoinPath(argv[1], s.fileName);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(file.data(), 1, file.size(), f) != file.size() ||
        std::fclose(f) != 0) {
      std::fprintf(stderr, "make-sample-firmware: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
