#include "kestra2g/wire/requests.h"

#include <algorithm>

#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/firmware_file.h"

namespace wire {
namespace {

// Reads a fixed layout: everything read and nothing left over.
bool Whole(ByteReader& r) { return r.ok() && r.Rest().empty(); }

}  // namespace

Payload EncodeHelloRequest(const HelloRequest& r) { return ByteWriter().U8(r.protocol).Take(); }

std::optional<HelloRequest> DecodeHelloRequest(PayloadView payload) {
  ByteReader r(payload);
  HelloRequest hello{r.U8()};
  if (!Whole(r)) return std::nullopt;
  return hello;
}

Payload EncodeQuery(const QueryRequest& r) {
  return ByteWriter().U8(static_cast<std::uint8_t>(r.kind)).Take();
}

std::optional<QueryRequest> DecodeQuery(PayloadView payload) {
  ByteReader r(payload);
  const std::uint8_t kind = r.U8();
  if (!Whole(r) || kind > static_cast<std::uint8_t>(kLastQueryKind)) return std::nullopt;
  return QueryRequest{static_cast<QueryKind>(kind)};
}

Payload EncodeEmpty() { return {}; }

bool DecodeEmpty(PayloadView payload) { return payload.empty(); }

Payload EncodeRange(const FlashRange& r) { return ByteWriter().U32(r.offset).U32(r.length).Take(); }

std::optional<FlashRange> DecodeRange(PayloadView payload) {
  ByteReader r(payload);
  FlashRange range;
  range.offset = r.U32();
  range.length = r.U32();
  if (!Whole(r)) return std::nullopt;
  return range;
}

Payload EncodeData(const DataRequest& r) {
  return ByteWriter(4 + r.bytes.size()).U32(r.offset).Bytes(r.bytes).Take();
}

std::optional<DataRequest> DecodeData(PayloadView payload) {
  ByteReader r(payload);
  DataRequest data;
  data.offset = r.U32();
  data.bytes = r.Rest();
  if (!r.ok() || data.bytes.empty()) return std::nullopt;
  return data;
}

Payload EncodeHeader(const HeaderRequest& r) { return ByteWriter().Bytes(r.header).Take(); }

std::optional<HeaderRequest> DecodeManifest(PayloadView payload) {
  if (!IsSignedHeaderSize(payload.size())) return std::nullopt;
  return HeaderRequest{payload};
}

namespace {

constexpr std::uint8_t kActivateRestartFlag = 1;

bool IsActivateHeaderSize(std::size_t n) {
  return IsSignedHeaderSize(n) || n == kFirmwareHeaderSize;
}

}  // namespace

Payload EncodeActivate(const ActivateRequest& r) {
  ByteWriter w;
  w.Bytes(r.header);
  if (r.restart) w.U8(kActivateRestartFlag);
  return w.Take();
}

std::optional<ActivateRequest> DecodeActivate(PayloadView payload) {
  if (IsActivateHeaderSize(payload.size())) return ActivateRequest{payload, false};
  if (payload.empty() || !IsActivateHeaderSize(payload.size() - 1) ||
      payload.back() != kActivateRestartFlag) {
    return std::nullopt;
  }
  return ActivateRequest{payload.first(payload.size() - 1), true};
}

Payload EncodeSetRate(const SetRateRequest& r) {
  const int trial = std::clamp(r.trialMs, kRateTrialMs, kRateIdleMs);
  return ByteWriter().U32(r.rate).U16(static_cast<std::uint16_t>(trial)).Take();
}

Payload EncodeSetRate(std::uint32_t rate, int trialMs) {
  return EncodeSetRate(SetRateRequest{rate, trialMs});
}

std::optional<SetRateRequest> DecodeSetRate(PayloadView payload) {
  ByteReader r(payload);
  SetRateRequest request;
  request.rate = r.U32();
  if (!r.ok() || request.rate == 0) return std::nullopt;
  const auto rest = r.Rest();
  if (rest.empty()) return request;
  ByteReader trial(rest);
  request.trialMs = std::clamp<int>(trial.U16(), kRateTrialMs, kRateIdleMs);
  if (!Whole(trial)) return std::nullopt;
  return request;
}

Payload EncodeRevert(const RevertRequest& r) {
  return ByteWriter().U8(static_cast<std::uint8_t>(r.action)).Take();
}

std::optional<RevertRequest> DecodeRevert(PayloadView payload) {
  ByteReader r(payload);
  const std::uint8_t action = r.U8();
  if (!Whole(r) || action > static_cast<std::uint8_t>(RevertAction::Revert)) return std::nullopt;
  return RevertRequest{static_cast<RevertAction>(action)};
}

}  // namespace wire
