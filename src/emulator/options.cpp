#include "emulator/options.h"

#include <charconv>
#include <string_view>

#include "core/device_family.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/key_file.h"
#include "platform/file_access.h"

namespace emulator {
namespace {

bool ParseNumber(std::string_view s, long long lo, long long hi, long long* value) {
  long long v = 0;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  *value = v;
  return true;
}

// Puts the key of a public key file into the slots: a new slot, or the
// revoked flag on the slot that holds it already.
platform::Result<> SetKeySlot(const std::string& path, bool revoked,
                              std::vector<wire::KeySlot>& slots) {
  const auto text = platform::ReadFileBytes(path);
  if (!text) return platform::Fail(platform::Refusal({}, {}, "cannot read key file " + path));
  const auto key = wire::ParsePublicKeyFile(
      std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
  if (!key) {
    return platform::Fail(
        platform::Refusal(path, {}, "not a public key file (reflint-sign keygen writes them)"));
  }
  for (wire::KeySlot& slot : slots) {
    if (slot.key == *key) {
      slot.revoked = slot.revoked || revoked;
      return {};
    }
  }
  if (slots.size() >= wire::kMaxKeySlots) {
    return platform::Fail(platform::Refusal(
        {}, {}, "the device holds at most " + std::to_string(wire::kMaxKeySlots) + " keys"));
  }
  slots.push_back({*key, revoked, path});
  return {};
}

}  // namespace

const char* UsageText() {
  return R"(Usage: remote-emulator [OPTION]...
Plays one handheld remote on a pseudo-terminal. Prints "READY <slave path>"
when the line is open; SIGTERM or SIGINT end it, SIGUSR1 presses RESET.

Device:
  --family HLX700|MV5100|TQ640|KII   family (default HLX700)
  --state application|bootloader|silent
                            application: identifies itself, refuses a download
                            until RESET; bootloader: accepts one; silent:
                            answers nothing until RESET, then its boot loader
                            listens for --catch-window-ms (default application)
  --app-version TEXT        installed version when no --initial-image (1.0.0)
  --boot-text TEXT          raw boot text to answer (default "BOOT V1.07 OEM <id> VANTREL\r\n")
  --product-text TEXT       raw product text (default "PRODUCT <key> REV B\r\n")
  --app-text TEXT           raw application text (default "APP: <version>\r\n")
  --no-answer LIST          comma list of boot,product,app: queries left unanswered
  --reset-after-ms N        RESET is pressed N ms after the first refused or
                            ignored request
  --catch-window-ms N       how long the boot loader listens after RESET (500)
  --flash-size BYTES        flash size including the 16 KiB boot loader (1 MiB)
  --rates LIST              comma list of the line rates the boot loader runs
                            (115200,230400,460800,921600); 115200 alone or
                            "none" (one from before rate switching) keep the
                            line at 115200
  --max-data N              largest data block per frame the device takes (2048)
  --window N                data frames the device buffers (8)
  --no-deflate              a boot loader from before compressed images: HELLO
                            offers no deflate and compressed data gets no answer
  --no-signature-check      a boot loader from before signed firmware: takes
                            any manifest of its family and writes in place
  --trust-key PUBFILE       a key slot holding this public key, repeatable,
                            at most 4 (default: the keys built into this build)
  --revoke-key PUBFILE      marks this key's slot revoked (adds it revoked when
                            no slot holds it)
  --initial-image PATH      firmware file the device holds at start
  --image-out PATH          where to write the image after a successful
                            activation (nothing is written otherwise)
Line:
  --link PATH               symlink PATH -> the pty slave (removed at exit)
  --baud N                  pace bytes as an 8N1 line of N baud at the base
                            rate, and at the switched rate after SET-RATE
                            (0: no pacing)
  --turnaround-ms N         delay before each answer (0)
  --flash-write-ms-per-kb N flash write time per KiB written (0)
  --fault SPEC              inject a fault, repeatable:
                              flip:RATE drop:RATE garbage:RATE lose-ack:RATE
                              dup-ack:RATE disconnect:PCT|REQUEST stall:PCT[:MS]
                              power-loss:PCT write-error:PCT verify-error
                              erase-error wrong-family rate-limit:BAUD
                              lose:REQUEST
                              (RATE: 0.01 or 1%)
  --seed N                  random seed of the faults (1); same seed, same run
  --log PATH                one line per received request: seconds since start
                            and request name ("-" for stderr)
  --help                    this text
)";
}

platform::Result<> ParseOptions(int argc, char** argv, Options& o) {
  // The message says which option; it is shown as it is.
  auto fail = [](std::string message) -> platform::Result<> {
    return platform::Fail(platform::Refusal({}, {}, std::move(message)));
  };
  std::string family = "HLX700";
  std::string initialImagePath;
  bool ownKeys = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      value = std::string(arg.substr(eq + 1));
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto next = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    auto number = [&](long long lo, long long hi, long long* v) {
      return next() && ParseNumber(value, lo, hi, v);
    };
    long long n = 0;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--family") {
      if (!next()) return fail("--family needs a value");
      family = value;
    } else if (arg == "--state") {
      if (!next()) return fail("--state needs a value");
      if (value == "application")
        o.device.initialState = PowerState::Application;
      else if (value == "bootloader")
        o.device.initialState = PowerState::BootLoader;
      else if (value == "silent")
        o.device.initialState = PowerState::Silent;
      else
        return fail("--state: application, bootloader or silent");
    } else if (arg == "--app-version") {
      if (!next()) return fail("--app-version needs a value");
      o.device.appVersion = value;
    } else if (arg == "--boot-text") {
      if (!next()) return fail("--boot-text needs a value");
      o.device.bootText = value;
    } else if (arg == "--product-text") {
      if (!next()) return fail("--product-text needs a value");
      o.device.productText = value;
    } else if (arg == "--app-text") {
      if (!next()) return fail("--app-text needs a value");
      o.device.appText = value;
    } else if (arg == "--no-answer") {
      if (!next()) return fail("--no-answer needs a value");
      std::string_view list = value;
      while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item == "boot")
          o.device.answerBoot = false;
        else if (item == "product")
          o.device.answerProduct = false;
        else if (item == "app")
          o.device.answerApp = false;
        else
          return fail("--no-answer: boot, product, app");
        list = comma == std::string_view::npos ? "" : list.substr(comma + 1);
      }
    } else if (arg == "--reset-after-ms") {
      if (!number(0, 3600000, &n)) return fail("--reset-after-ms needs a number");
      o.resetAfterMs = static_cast<int>(n);
    } else if (arg == "--catch-window-ms") {
      if (!number(1, 3600000, &n)) return fail("--catch-window-ms needs a number");
      o.device.catchWindow = std::chrono::milliseconds(n);
    } else if (arg == "--flash-size") {
      if (!number(64 * 1024, 256LL * 1024 * 1024, &n)) {
        return fail("--flash-size: 65536 to 268435456 bytes");
      }
      o.device.flashSize = static_cast<std::uint32_t>(n);
    } else if (arg == "--max-data") {
      if (!number(16, 4096, &n)) return fail("--max-data: 16 to 4096");
      o.device.maxData = static_cast<std::uint16_t>(n);
    } else if (arg == "--rates") {
      if (!next()) return fail("--rates needs a list");
      o.device.rates.clear();
      std::string_view list = value == "none" ? "" : std::string_view(value);
      bool base = list.empty();
      while (!list.empty()) {
        const auto comma = list.find(',');
        long long rate = 0;
        if (!ParseNumber(list.substr(0, comma), 300, 10000000, &rate)) {
          return fail("--rates: a comma list of baud rates");
        }
        o.device.rates.push_back(static_cast<std::uint32_t>(rate));
        base = base || rate == wire::kBaseRate;
        list = comma == std::string_view::npos ? "" : list.substr(comma + 1);
      }
      if (!base) return fail("--rates: the list must hold 115200");
    } else if (arg == "--no-deflate") {
      o.device.offerDeflate = false;
    } else if (arg == "--window") {
      if (!number(1, 64, &n)) return fail("--window: 1 to 64");
      o.device.window = static_cast<std::uint8_t>(n);
    } else if (arg == "--no-signature-check") {
      o.device.checkSignatures = false;
    } else if (arg == "--trust-key" || arg == "--revoke-key") {
      if (!next()) return fail(std::string(arg) + " needs a public key file");
      // The first key to trust replaces the built-in ones; a revocation
      // applies to the slots as they are.
      if (arg == "--trust-key" && !ownKeys) {
        o.device.keySlots.clear();
        ownKeys = true;
      }
      if (auto set = SetKeySlot(value, arg == "--revoke-key", o.device.keySlots); !set) return set;
    } else if (arg == "--initial-image") {
      if (!next()) return fail("--initial-image needs a path");
      initialImagePath = value;
    } else if (arg == "--image-out") {
      if (!next()) return fail("--image-out needs a path");
      o.imageOut = value;
    } else if (arg == "--link") {
      if (!next()) return fail("--link needs a path");
      o.link = value;
    } else if (arg == "--log") {
      if (!next()) return fail("--log needs a path");
      o.log = value;
    } else if (arg == "--baud") {
      if (!number(0, 10000000, &n)) return fail("--baud needs a number");
      o.baud = static_cast<int>(n);
    } else if (arg == "--turnaround-ms") {
      if (!number(0, 60000, &n)) return fail("--turnaround-ms needs a number");
      o.turnaroundMs = static_cast<int>(n);
    } else if (arg == "--flash-write-ms-per-kb") {
      if (!number(0, 60000, &n)) return fail("--flash-write-ms-per-kb needs a number");
      o.device.flashWritePerKb = std::chrono::milliseconds(n);
    } else if (arg == "--fault") {
      if (!next()) return fail("--fault needs a SPEC");
      if (auto added = AddFault(value, o.faults); !added) return added;
    } else if (arg == "--seed") {
      if (!number(0, INT64_MAX, &n)) return fail("--seed needs a number");
      o.seed = static_cast<std::uint64_t>(n);
    } else {
      return fail("unknown option " + std::string(arg) + " (see --help)");
    }
  }
  const FamilyInfo* info = nullptr;
  for (const FamilyInfo& f : kFamilies) {
    if (f.productKey == family) info = &f;
  }
  if (info == nullptr) return fail("--family: HLX700, MV5100, TQ640 or KII");
  o.device.deviceCode = static_cast<std::uint8_t>(info->deviceCode);
  o.device.familyName = std::string(info->productKey);
  o.device.bootId = std::string(info->bootId);
  o.device.productKey = std::string(info->productKey);
  if (o.faults.wrongFamily) {
    o.device.reportedCode = static_cast<std::uint8_t>((info->deviceCode + 1) % kFamilyCount);
  }
  o.device.writeErrorAtPercent = o.faults.writeErrorAt;
  o.device.verifyError = o.faults.verifyError;
  o.device.eraseError = o.faults.eraseError;
  if (!initialImagePath.empty()) {
    auto image = platform::ReadFileBytes(initialImagePath);
    if (!image) return fail("cannot read --initial-image " + initialImagePath);
    o.device.initialImage = std::move(*image);
    wire::FirmwareHeader h;
    if (const auto c = wire::CheckFirmwareImage(o.device.initialImage, &h);
        c != wire::FirmwareCheck::Ok) {
      return fail("--initial-image: " + std::string(wire::FirmwareCheckText(c)));
    }
    if (o.device.initialImage.size() > o.device.flashSize - o.device.bootLoaderSize) {
      return fail("--initial-image does not fit the flash");
    }
  }
  return {};
}

}  // namespace emulator
