#include "emulator/options.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <string_view>

#include "core/device_family.h"
#include "emulator/decimal.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/key_file.h"
#include "platform/file_access.h"

namespace emulator {
namespace {

// Each item of a comma list; an empty text is no item.
void ForEachItem(std::string_view list, const std::function<void(std::string_view)>& item) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    item(list.substr(0, comma));
    list = comma == std::string_view::npos ? "" : list.substr(comma + 1);
  }
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

// The command line as CLI11 reads it. Values are turned into settings by
// the options' callbacks; a malformed value throws CLI::ValidationError, a
// failure of our own (a key or fault that cannot be had) is kept in
// `failure` with its reason, the first one only.
class CommandLine {
 public:
  explicit CommandLine(Options& o) : o_(o) {
    app_.set_help_flag();  // --help is ours: parsing never prints or exits
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.allow_extras();  // refused afterwards in our words
    app_.get_formatter()->column_width(28);
    app_.footer(R"(Fault SPEC:
  flip:RATE drop:RATE garbage:RATE lose-ack:RATE dup-ack:RATE
  disconnect:PCT|REQUEST lose:REQUEST lose-answer:REQUEST stall:PCT[:MS]
  power-loss:PCT write-error:PCT verify-error erase-error wrong-family
  rate-limit:BAUD
  (RATE: 0.01 or 1%))");
    AddDevice();
    ShowUnder("Device");
    AddLine();
    app_.add_flag("--help,-h", o.help, "this text");
    ShowUnder("Line");
  }

  CLI::App& app() { return app_; }
  const std::string& family() const { return family_; }
  const std::string& initialImage() const { return initialImage_; }
  const std::optional<platform::Error>& failure() const { return failure_; }

 private:
  void Note(platform::Result<> r) {
    if (!r && !failure_) failure_ = r.error();
  }

  // The help shows the options added since the last call under `name`.
  void ShowUnder(const std::string& name) {
    for (CLI::Option* option :
         app_.get_options([](const CLI::Option* o) { return o->get_group() == "Options"; }))
      option->group(name);
  }

  // A whole number from lo to hi, handed to `set`.
  CLI::Option* Number(CLI::App* group, const std::string& name, long long lo, long long hi,
                      std::function<void(long long)> set, const std::string& help) {
    auto parse = [name, lo, hi, set](const std::string& text) {
      const auto v = Decimal(text, lo, hi);
      if (!v) {
        throw CLI::ValidationError(
            name, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
      }
      set(*v);
    };
    return group->add_option_function<std::string>(name, parse, help)->type_name("N");
  }

  template <typename T>  // a string, or an optional one
  CLI::Option* Text(CLI::App* group, const std::string& name, T& target, const std::string& help,
                    const char* typeName = "TEXT") {
    return group->add_option(name, target, help)->type_name(typeName);
  }

  void AddDevice() {
    DeviceConfig& d = o_.device;
    CLI::App* g = &app_;
    Text(g, "--family", family_, "HLX700, MV5100, TQ640 or KII (default HLX700)", "NAME");
    g->add_option_function<std::string>(
         "--state",
         [&d](const std::string& state) {
           if (state == "application")
             d.initialState = PowerState::Application;
           else if (state == "bootloader")
             d.initialState = PowerState::BootLoader;
           else if (state == "silent")
             d.initialState = PowerState::Silent;
           else
             throw CLI::ValidationError("--state", "application, bootloader or silent");
         },
         "application: identifies itself, refuses a download\n"
         "until RESET; bootloader: accepts one; silent:\n"
         "answers nothing until RESET, then its boot loader\n"
         "listens for --catch-window-ms (default application)")
        ->type_name("STATE");
    Text(g, "--app-version", d.appVersion, "installed version when no --initial-image (1.0.0)");
    Text(g, "--boot-text", d.bootText,
         "raw boot text to answer\n(default \"BOOT V1.07 OEM <id> VANTREL\\r\\n\")");
    Text(g, "--product-text", d.productText,
         "raw product text (default \"PRODUCT <key> REV B\\r\\n\")");
    Text(g, "--app-text", d.appText, "raw application text (default \"APP: <version>\\r\\n\")");
    g->add_option_function<std::string>(
         "--no-answer",
         [&d](const std::string& list) {
           ForEachItem(list, [&d](std::string_view item) {
             if (item == "boot")
               d.answerBoot = false;
             else if (item == "product")
               d.answerProduct = false;
             else if (item == "app")
               d.answerApp = false;
             else
               throw CLI::ValidationError("--no-answer", "boot, product, app");
           });
         },
         "comma list of boot,product,app: queries left unanswered")
        ->type_name("LIST");
    Number(
        g, "--reset-after-ms", 0, 3600000, [this](long long n) { o_.resetAfterMs = int(n); },
        "RESET is pressed N ms after the first refused or\nignored request");
    Number(
        g, "--catch-window-ms", 1, 3600000,
        [&d](long long n) { d.catchWindow = std::chrono::milliseconds(n); },
        "how long the boot loader listens after RESET (500)");
    Number(
        g, "--flash-size", 64 * 1024, static_cast<long long>(wire::kMaxFlashSize),
        [&d](long long n) { d.flashSize = std::uint32_t(n); },
        "flash size including the 16 KiB boot loader (1 MiB)")
        ->type_name("BYTES");
    g->add_option_function<std::string>(
         "--rates",
         [&d](const std::string& text) {
           d.rates.clear();
           bool base = false;
           ForEachItem(text == "none" ? "" : text, [&](std::string_view item) {
             const auto rate = Decimal(item, 300, 10000000);
             if (!rate) throw CLI::ValidationError("--rates", "a comma list of baud rates");
             d.rates.push_back(std::uint32_t(*rate));
             base = base || *rate == wire::kBaseRate;
           });
           if (!d.rates.empty() && !base)
             throw CLI::ValidationError("--rates", "the list must hold 115200");
         },
         "comma list of the line rates the boot loader runs\n"
         "(115200,230400,460800,921600); 115200 alone or\n"
         "\"none\" (one from before rate switching) keep the\n"
         "line at 115200")
        ->type_name("LIST");
    Number(
        g, "--max-data", 16, 4096, [&d](long long n) { d.maxData = std::uint16_t(n); },
        "largest data block per frame the device takes (2048)");
    Number(
        g, "--window", 1, 64, [&d](long long n) { d.window = std::uint8_t(n); },
        "data frames the device buffers (8)");
    g->add_flag_callback(
        "--no-deflate", [&d] { d.offerDeflate = false; },
        "a boot loader from before compressed images: HELLO\n"
        "offers no deflate and compressed data gets no answer");
    g->add_flag_callback(
        "--no-restart-on-activate", [&d] { d.restartOnActivate = false; },
        "a boot loader from before ACTIVATE's restart flag:\n"
        "HELLO does not offer it and the host sends RESTART");
    g->add_flag_callback(
        "--no-signature-check", [&d] { d.checkSignatures = false; },
        "a boot loader from before signed firmware: takes\n"
        "any manifest of its family and writes in place");
    // Keys apply in command-line order: the first key to trust replaces the
    // built-in ones, a revocation applies to the slots as they are then.
    g->add_option_function<std::string>(
         "--trust-key",
         [this, &d](const std::string& path) {
           if (!ownKeys_) d.keySlots.clear();
           ownKeys_ = true;
           Note(SetKeySlot(path, false, d.keySlots));
         },
         "a key slot holding this public key, repeatable,\n"
         "at most 4 (default: the keys built into this build)")
        ->type_name("PUBFILE")
        ->trigger_on_parse();
    g->add_option_function<std::string>(
         "--revoke-key",
         [this, &d](const std::string& path) { Note(SetKeySlot(path, true, d.keySlots)); },
         "marks this key's slot revoked (adds it revoked when\nno slot holds it)")
        ->type_name("PUBFILE")
        ->trigger_on_parse();
    Text(g, "--initial-image", initialImage_,
         "signed firmware file whose image runs at start\n"
         "(its header and payload; default: a factory image)",
         "PATH");
    Number(
        g, "--security-counter", 0, UINT32_MAX,
        [&d](long long n) { d.securityCounter = std::uint32_t(n); },
        "the stored security counter (0; at least the\n"
        "initial image's): manifests below it are refused");
    Text(g, "--image-out", o_.imageOut,
         "where to write the image after a successful\n"
         "activation (nothing is written otherwise)",
         "PATH");
  }

  void AddLine() {
    CLI::App* g = &app_;
    Text(g, "--link", o_.link, "symlink PATH -> the pty slave (removed at exit)", "PATH");
    Number(
        g, "--baud", 0, 10000000, [this](long long n) { o_.baud = int(n); },
        "pace bytes as an 8N1 line of N baud at the base\n"
        "rate, and at the switched rate after SET-RATE\n"
        "(0: no pacing)");
    Number(
        g, "--turnaround-ms", 0, 60000, [this](long long n) { o_.turnaroundMs = int(n); },
        "delay before each answer (0)");
    Number(
        g, "--flash-write-ms-per-kb", 0, 60000,
        [this](long long n) { o_.device.flashWritePerKb = std::chrono::milliseconds(n); },
        "flash write time per KiB written (0)");
    g->add_option_function<std::string>(
         "--fault", [this](const std::string& spec) { Note(AddFault(spec, o_.faults)); },
         "inject a fault, repeatable (SPEC below)")
        ->type_name("SPEC")
        ->trigger_on_parse();
    Number(
        g, "--seed", 0, INT64_MAX, [this](long long n) { o_.seed = std::uint64_t(n); },
        "random seed of the faults (1); same seed, same run");
    Text(g, "--log", o_.log,
         "one line per received request: seconds since start\n"
         "and request name (\"-\" for stderr)",
         "PATH");
  }

  Options& o_;
  CLI::App app_{
      "Plays one handheld remote on a pseudo-terminal. Prints \"READY <slave path>\"\n"
      "when the line is open; SIGTERM or SIGINT end it, SIGUSR1 presses RESET.",
      "remote-emulator"};
  std::string family_ = "HLX700";
  std::string initialImage_;
  bool ownKeys_ = false;
  std::optional<platform::Error> failure_;
};

platform::Result<> Refuse(std::string message) {
  return platform::Fail(platform::Refusal({}, {}, std::move(message)));
}

// What the options say together: the family's identity, the faults that
// live in the device, the image it starts with.
platform::Result<> Complete(const std::string& family, const std::string& initialImagePath,
                            Options& o) {
  const auto named = FamilyFromProductKey(family);
  if (!named) return Refuse("--family: HLX700, MV5100, TQ640 or KII");
  const FamilyInfo* info = &Family(*named);
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
    if (!image) return Refuse("cannot read --initial-image " + initialImagePath);
    o.device.initialImage = std::move(*image);
    wire::FirmwareHeader h;
    if (const auto c = wire::CheckFirmwareImage(o.device.initialImage, &h);
        c != wire::FirmwareCheck::Ok) {
      return Refuse("--initial-image: " + std::string(wire::FirmwareCheckText(c)));
    }
    // The device holds the image; a file's delta sections are for hosts.
    o.device.initialImage.resize(h.imageSize());
    if (o.device.initialImage.size() > o.device.flashSize - o.device.bootLoaderSize) {
      return Refuse("--initial-image does not fit the flash");
    }
  }
  return {};
}

}  // namespace

std::string UsageText() {
  Options unused;
  CommandLine line(unused);
  return line.app().help();
}

platform::Result<> ParseOptions(int argc, char** argv, Options& o) {
  CommandLine line(o);
  try {
    line.app().parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // A failure of our own came first on the command line: parsing stops at
    // the first error, and it was read before.
    if (line.failure()) return platform::Fail(*line.failure());
    return Refuse(e.what());
  }
  if (line.failure()) return platform::Fail(*line.failure());
  if (const auto extra = line.app().remaining(); !extra.empty()) {
    return Refuse("unknown option " + extra.front() + " (see --help)");
  }
  return Complete(line.family(), line.initialImage(), o);
}

}  // namespace emulator
