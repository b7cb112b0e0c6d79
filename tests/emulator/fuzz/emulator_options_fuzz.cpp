// libFuzzer target: the emulator's command line, as a script or a person
// types it. Built by scripts/fuzz.
// Input: the arguments, each ended by NUL.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/options.h"
#include "kestra2g/wire/firmware_file.h"

// Built with FUZZ_PUBLIC_KEY, the path of a public key file.

namespace {

std::string imagePath;

}  // namespace

// A small image the device can hold, for --initial-image.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::uint8_t payload[64] = {1, 2, 3};
  const auto image = wire::BuildFirmwareFile(0, "HLX700", "1.2.3", payload);
  imagePath = "emulator_options_fuzz.image";
  std::FILE* f = std::fopen(imagePath.c_str(), "wb");
  if (f == nullptr || std::fwrite(image.data(), 1, image.size(), f) != image.size())
    __builtin_trap();
  std::fclose(f);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"remote-emulator"};
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty() && args.size() < 64) {
    const std::size_t cut = input.find('\0');
    args.emplace_back(input.substr(0, cut));
    input.remove_prefix(cut == std::string_view::npos ? input.size() : cut + 1);
  }
  // The options that read files get files we know: anything else could name
  // a device that never ends or blocks.
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string& arg = args[i];
    for (const std::string_view name : {"--trust-key", "--revoke-key", "--initial-image"}) {
      if (!arg.starts_with(name)) continue;
      auto known = [&](const std::string& value) {
        return value.size() % 2 == 0 ? std::string(FUZZ_PUBLIC_KEY) : imagePath;
      };
      if (arg.size() > name.size() && arg[name.size()] == '=') {
        arg = std::string(name) + "=" + known(arg.substr(name.size() + 1));
      } else if (arg == name && i + 1 < args.size()) {
        ++i;
        args[i] = known(args[i]);
      }
    }
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  emulator::Options options;
  if (const auto parsed =
          emulator::ParseOptions(static_cast<int>(args.size()), argv.data(), options);
      !parsed) {
    if (parsed.error().Describe().empty()) __builtin_trap();  // every refusal says why
    return 0;
  }
  // What it accepts is a device it can play.
  const emulator::DeviceConfig& d = options.device;
  if (d.maxData < 16 || d.maxData > 4096 || d.window < 1 || d.window > 64) __builtin_trap();
  if (d.flashSize < 64 * 1024 || d.initialImage.size() > d.flashSize) __builtin_trap();
  if (d.familyName.empty() || d.keySlots.size() > 4) __builtin_trap();
  return 0;
}
