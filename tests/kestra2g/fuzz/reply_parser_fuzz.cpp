// libFuzzer target: what the library parses from the line and from a
// firmware file. Built by scripts/fuzz.

#include <cstddef>
#include <cstdint>
#include <span>

#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  // Frames arrive in pieces of any size.
  wire::FrameDecoder decoder(256);
  std::size_t pos = 0;
  std::size_t step = size > 0 ? 1 + data[0] % 31 : 1;
  while (pos < size) {
    const std::size_t n = std::min(step, size - pos);
    decoder.Feed(input.subspan(pos, n));
    pos += n;
    while (auto frame = decoder.Next()) {
      if (frame->payload.size() > 256) __builtin_trap();
      // Re-encoding a decoded frame gives a frame that decodes the same.
      wire::FrameDecoder again;
      again.Feed(wire::EncodeFrame(frame->type, frame->seq, frame->payload));
      const auto back = again.Next();
      if (!back || back->payload != frame->payload || back->type != frame->type) __builtin_trap();
      (void)wire::DecodeHello(frame->payload);
      wire::ByteReader r(frame->payload);
      (void)wire::ReplyStatus(frame->payload);
      r.U8();
      r.U32();
      (void)r.Rest();
    }
    step = 1 + (step * 7) % 64;
  }
  wire::FirmwareHeader header;
  (void)wire::CheckFirmwareImage(input, &header);
  return 0;
}
