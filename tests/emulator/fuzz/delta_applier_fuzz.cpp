// libFuzzer target: the boot loader's delta applier fed an arbitrary base and
// arbitrary section bytes in pieces, some out of order. Built by scripts/fuzz.
// Input: u8 how to cut, u16 base size, u16 new payload size, the base, then
// the section's bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "emulator/delta_applier.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/signing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t cut = data[0];
  const std::size_t baseSize = std::min<std::size_t>(data[1] | data[2] << 8, size - 5);
  const std::size_t outSize = data[3] | data[4] << 8;
  const std::span<const std::uint8_t> base(data + 5, baseSize);
  const std::span<const std::uint8_t> section(data + 5 + baseSize, size - 5 - baseSize);
  // The flash the device hands it: the new payload's bytes exactly, with a
  // guard after it that nothing may touch.
  std::vector<std::uint8_t> flash(outSize + 64, 0xFF);
  const std::span<std::uint8_t> out(flash.data(), outSize);
  constexpr std::size_t kKeepAhead = 1024;
  emulator::DeltaApplier applier(wire::DeltaWindowLog(64 * 1024), kKeepAhead);
  // The section's own hash holds; the result's the fuzzer cannot know.
  applier.Restart(base, out,
                  {static_cast<std::uint32_t>(section.size()), wire::Sha256(section), {}});
  const std::size_t piece = 1 + cut % 97;
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < section.size(); at += piece) starts.push_back(at);
  if ((cut & 0x80) != 0 && starts.size() > 2) std::swap(starts[1], starts[2]);
  for (std::size_t at : starts) {
    const auto bytes = section.subspan(at, std::min(piece, section.size() - at));
    const auto result = applier.Take(static_cast<std::uint32_t>(at), bytes);
    if (applier.written() > outSize) __builtin_trap();
    if (result == emulator::DeltaApplier::Result::Failed) break;
  }
  if (applier.verified()) __builtin_trap();  // the result's hash was zeros
  if (std::any_of(flash.begin() + static_cast<std::ptrdiff_t>(outSize), flash.end(),
                  [](std::uint8_t b) { return b != 0xFF; })) {
    __builtin_trap();
  }
  return 0;
}
