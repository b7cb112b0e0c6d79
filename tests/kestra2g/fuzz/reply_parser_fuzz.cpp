// libFuzzer target: what either end parses from the line, and a firmware
// file. Built by scripts/fuzz.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"

namespace {

// A fixed layout that decodes encodes to the same bytes: nothing of the
// payload is passed over or read twice.
template <typename Decode, typename Encode>
void Exact(std::span<const std::uint8_t> payload, Decode decode, Encode encode) {
  if (const auto v = decode(payload)) {
    const auto again = encode(*v);
    if (!std::ranges::equal(again, payload)) __builtin_trap();
  }
}

// Every decoder of the protocol, over whatever payload the line brought.
void DecodeEveryLayout(std::span<const std::uint8_t> p) {
  (void)wire::ReplyStatus(p);
  (void)wire::DecodeHello(p);
  Exact(p, wire::DecodeStatusAnswer, wire::EncodeStatusAnswer);
  Exact(p, wire::DecodeQueryAnswer, wire::EncodeQueryAnswer);
  Exact(p, wire::DecodeCatchAnswer, wire::EncodeCatchAnswer);
  Exact(p, wire::DecodeDataAnswer, wire::EncodeDataAnswer);
  Exact(p, wire::DecodeDeflatedAnswer, wire::EncodeDeflatedAnswer);
  Exact(p, wire::DecodeVerifyAnswer, wire::EncodeVerifyAnswer);
  Exact(p, wire::DecodeRevertAnswer, wire::EncodeRevertAnswer);
  Exact(p, wire::DecodeRevert, wire::EncodeRevert);
  Exact(p, wire::DecodeHelloRequest, wire::EncodeHelloRequest);
  Exact(p, wire::DecodeQuery, wire::EncodeQuery);
  Exact(p, wire::DecodeRange, wire::EncodeRange);
  Exact(p, wire::DecodeData, wire::EncodeData);
  Exact(p, wire::DecodeManifest, wire::EncodeHeader);
  Exact(p, wire::DecodeActivate, wire::EncodeActivate);
  if (wire::DecodeEmpty(p) != p.empty()) __builtin_trap();
  // A trial outside its bounds comes back clamped: only the rate is exact.
  if (const auto r = wire::DecodeSetRate(p)) {
    if (wire::EncodeSetRate(*r).size() < p.size() || r->rate == 0) __builtin_trap();
  }
}

}  // namespace

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
      DecodeEveryLayout(frame->payload);
    }
    step = 1 + (step * 7) % 64;
  }
  wire::FirmwareHeader header;
  (void)wire::CheckFirmwareImage(input, &header);
  return 0;
}
