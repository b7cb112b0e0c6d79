// make-sample-firmware FAMILY OUTFILE [BYTES]: writes the payload of the
// family's sample firmware, code-like and the same every build (BYTES long
// instead of the sample's size, for benchmarks). The build signs it
// into the sample file with reflint-sign.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/device_family.h"
#include "kestra2g/tools/code_like.h"

namespace {

std::size_t PayloadSize(DeviceFamily family) {
  switch (family) {
    case DeviceFamily::HLX700:
      return 24 * 1024;
    case DeviceFamily::MV5100:
      return 16 * 1024;
    case DeviceFamily::TQ640:
      return 20 * 1024;
    case DeviceFamily::KII:
      return 12 * 1024;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto family = argc == 3 || argc == 4 ? FamilyFromProductKey(argv[1]) : std::nullopt;
  const long bytes = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 0;
  if (!family || bytes < 0 || bytes > 64L * 1024 * 1024) {
    std::fprintf(stderr, "usage: make-sample-firmware HLX700|MV5100|TQ640|KII OUTFILE [BYTES]\n");
    return 2;
  }
  const FamilyInfo* info = &Family(*family);
  // Code-like, so a compressed download shows what it gains.
  const std::vector<std::uint8_t> payload =
      sample::CodeLikeBytes(bytes > 0 ? static_cast<std::size_t>(bytes) : PayloadSize(info->family),
                            0x1234567U + static_cast<std::uint32_t>(info->deviceCode));
  std::FILE* f = std::fopen(argv[2], "wb");
  if (f == nullptr || std::fwrite(payload.data(), 1, payload.size(), f) != payload.size() ||
      std::fclose(f) != 0) {
    std::fprintf(stderr, "make-sample-firmware: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
