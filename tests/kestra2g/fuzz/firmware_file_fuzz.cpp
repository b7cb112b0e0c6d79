// libFuzzer target: a firmware file as the library and the boot loader read
// it, header, manifest and signature. Built by scripts/fuzz.

#include <cstddef>
#include <cstdint>
#include <span>

#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/firmware_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  wire::FirmwareHeader header;
  if (wire::ParseFirmwareHeader(input, &header) != wire::FirmwareCheck::Ok) return 0;
  // A header that parses lies wholly inside the input.
  if (header.size() > size) __builtin_trap();
  const auto check = wire::CheckSignature(input, header, wire::BuiltInKeySlots());
  // Without a key the fuzzer cannot forge a signature.
  if (check == wire::SignatureCheck::Ok) __builtin_trap();
  if (wire::CheckFirmwareImage(input, nullptr) == wire::FirmwareCheck::Ok &&
      header.size() + header.payloadSize != size) {
    __builtin_trap();
  }
  return 0;
}
