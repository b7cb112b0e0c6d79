// libFuzzer target: the emulated device fed with arbitrary bytes as request
// frames, in each of its states. Built by scripts/fuzz.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "emulator/device.h"
#include "kestra2g/wire/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  emulator::DeviceConfig config;
  config.flashSize = 64 * 1024;
  config.maxData = 512;
  config.window = 4;
  config.initialState = static_cast<emulator::PowerState>(data[0] % 4);
  config.writeErrorAtPercent = (data[0] & 0x10) != 0 ? 50 : -1;
  if (config.writeErrorAtPercent == -1) config.writeErrorAtPercent.reset();
  // A fuzzer cannot sign, so half the runs talk to a boot loader that does
  // not check signatures: its erase, data and activation get explored too.
  config.checkSignatures = (data[0] & 0x40) != 0;
  emulator::Device device(config);
  wire::FrameDecoder decoder(1024);
  if ((data[0] & 0x20) != 0) {
    // Structured: records of type, length, payload, framed here so that the
    // device logic behind the CRC check gets explored too.
    std::size_t pos = 1;
    std::uint8_t seq = 0;
    while (pos + 2 <= size) {
      const std::uint8_t type = data[pos];
      std::size_t len = data[pos + 1];
      pos += 2;
      len = std::min(len * 4, size - pos);
      decoder.Feed(wire::EncodeFrame(type, seq++, std::span(data + pos, len)));
      pos += len;
    }
  } else {
    decoder.Feed(std::span(data + 1, size - 1));
  }
  std::vector<emulator::Outgoing> out;
  auto now = emulator::Clock::now();
  int n = 0;
  while (auto frame = decoder.Next()) {
    out.clear();
    device.Handle(*frame, now, out);
    for (const auto& o : out) {
      if (o.bytes.size() > wire::kOverhead + config.maxData + 8) __builtin_trap();
    }
    if (++n % 7 == 0) device.PressReset(now);
    if (n % 11 == 0) device.PowerLoss(now);
    now += std::chrono::milliseconds(40);
    device.Tick(now);
    (void)device.DownloadPercent();
  }
  // Whatever was sent, a valid image is one whose header and CRC check out.
  if (device.imageValid() && device.CurrentImage().empty()) __builtin_trap();
  return 0;
}
