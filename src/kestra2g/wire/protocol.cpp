#include "kestra2g/wire/protocol.h"

#include <algorithm>

#include "kestra2g/wire/bytes.h"

namespace wire {

std::vector<std::uint8_t> EncodeHello(Status s, const HelloInfo& h) {
  ByteWriter w;
  w.U8(static_cast<std::uint8_t>(s))
      .U8(h.protocol)
      .U8(h.deviceCode)
      .U8(static_cast<std::uint8_t>(h.state))
      .U8(h.imageValid ? 1 : 0)
      .U16(h.maxData)
      .U8(h.window)
      .U32(h.appBase)
      .U32(h.appSize)
      .U8(h.features)
      .U8(h.windowBits);
  if ((h.features & kFeatureRates) != 0) {
    w.U8(static_cast<std::uint8_t>(h.rates.size()));
    for (std::uint32_t rate : h.rates) w.U32(rate);
  }
  return w.Take();
}

std::optional<HelloInfo> DecodeHello(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  if (static_cast<Status>(r.U8()) != Status::Ok) return std::nullopt;
  HelloInfo h;
  h.protocol = r.U8();
  h.deviceCode = r.U8();
  const std::uint8_t state = r.U8();
  h.imageValid = r.U8() == 1;
  h.maxData = r.U16();
  h.window = r.U8();
  h.appBase = r.U32();
  h.appSize = r.U32();
  // Older devices end here, or after the features and the window bits.
  const auto rest = r.Rest();
  if (rest.size() == 1) return std::nullopt;
  ByteReader more(rest);
  if (!rest.empty()) {
    h.features = more.U8();
    h.windowBits = more.U8();
  }
  if ((h.features & kFeatureRates) != 0) {
    const std::size_t count = more.U8();
    if (count > kMaxRates) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) h.rates.push_back(more.U32());
    if (!more.ok()) return std::nullopt;
  }
  if (!r.ok() || state > 1 || h.maxData == 0 || h.window == 0) return std::nullopt;
  h.state = static_cast<DeviceState>(state);
  return h;
}

std::vector<std::uint8_t> EncodeSetRate(std::uint32_t rate, int trialMs) {
  const int trial = std::clamp(trialMs, kRateTrialMs, kRateIdleMs);
  return ByteWriter().U32(rate).U16(static_cast<std::uint16_t>(trial)).Take();
}

std::optional<SetRateRequest> DecodeSetRate(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  SetRateRequest request;
  request.rate = r.U32();
  if (!r.ok()) return std::nullopt;
  // Requests from before the trial end after the rate.
  if (const std::uint16_t trial = r.U16(); r.ok()) {
    request.trialMs = std::clamp<int>(trial, kRateTrialMs, kRateIdleMs);
  }
  return request;
}

Status ReplyStatus(std::span<const std::uint8_t> payload) {
  return payload.empty() ? Status::BadRequest : static_cast<Status>(payload[0]);
}

}  // namespace wire
