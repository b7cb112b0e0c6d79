#include "kestra2g/wire/answers.h"

#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/firmware_file.h"

namespace wire {
namespace {

std::optional<Status> KnownStatus(std::uint8_t s) {
  if (s > static_cast<std::uint8_t>(kLastStatus)) return std::nullopt;
  return static_cast<Status>(s);
}

// Reads the status an answer with more to say starts with: OK.
bool StartsOk(ByteReader& r) { return r.U8() == static_cast<std::uint8_t>(Status::Ok) && r.ok(); }

// A fixed layout: everything read and nothing left over.
bool Whole(ByteReader& r) { return r.ok() && r.Rest().empty(); }

}  // namespace

Status ReplyStatus(PayloadView payload) {
  return payload.empty() ? Status::BadRequest : static_cast<Status>(payload[0]);
}

Payload EncodeStatusAnswer(Status s) {
  return ByteWriter().U8(static_cast<std::uint8_t>(s)).Take();
}

std::optional<Status> DecodeStatusAnswer(PayloadView payload) {
  ByteReader r(payload);
  const auto status = KnownStatus(r.U8());
  if (!Whole(r)) return std::nullopt;
  return status;
}

Payload EncodeHello(Status s, const HelloInfo& h) {
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
  if (h.ReportsRunningImage()) w.Bytes(h.runningSha256).U32(h.securityCounter);
  return w.Take();
}

std::optional<HelloInfo> DecodeHello(PayloadView payload) {
  ByteReader r(payload);
  if (!StartsOk(r)) return std::nullopt;
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
  if (h.ReportsRunningImage()) {
    for (std::uint8_t& b : h.runningSha256) b = more.U8();
    h.securityCounter = more.U32();
    if (!more.ok()) return std::nullopt;
  }
  if (!r.ok() || state > 1 || h.maxData == 0 || h.window == 0) return std::nullopt;
  h.state = static_cast<DeviceState>(state);
  return h;
}

Payload EncodeQueryAnswer(const QueryAnswer& a) {
  return ByteWriter()
      .U8(static_cast<std::uint8_t>(Status::Ok))
      .U8(static_cast<std::uint8_t>(a.kind))
      .Text(a.text)
      .Take();
}

std::optional<QueryAnswer> DecodeQueryAnswer(PayloadView payload) {
  ByteReader r(payload);
  if (!StartsOk(r)) return std::nullopt;
  const std::uint8_t kind = r.U8();
  if (!r.ok() || kind > static_cast<std::uint8_t>(kLastQueryKind)) return std::nullopt;
  const auto text = r.Rest();
  return QueryAnswer{static_cast<QueryKind>(kind), std::string(text.begin(), text.end())};
}

Payload EncodeCatchAnswer(const CatchAnswer& a) {
  return ByteWriter().U8(static_cast<std::uint8_t>(Status::Ok)).U8(a.deviceCode).Take();
}

std::optional<CatchAnswer> DecodeCatchAnswer(PayloadView payload) {
  ByteReader r(payload);
  if (!StartsOk(r)) return std::nullopt;
  CatchAnswer a{r.U8()};
  if (!Whole(r)) return std::nullopt;
  return a;
}

Payload EncodeDataAnswer(const DataAnswer& a) {
  return ByteWriter().U8(static_cast<std::uint8_t>(a.status)).U32(a.next).Take();
}

std::optional<DataAnswer> DecodeDataAnswer(PayloadView payload) {
  ByteReader r(payload);
  const auto status = KnownStatus(r.U8());
  const std::uint32_t next = r.U32();
  if (!Whole(r) || !status) return std::nullopt;
  return DataAnswer{*status, next};
}

Payload EncodeDeflatedAnswer(const DeflatedAnswer& a) {
  return ByteWriter().U8(static_cast<std::uint8_t>(a.status)).U32(a.next).U32(a.written).Take();
}

std::optional<DeflatedAnswer> DecodeDeflatedAnswer(PayloadView payload) {
  ByteReader r(payload);
  const auto status = KnownStatus(r.U8());
  const std::uint32_t next = r.U32();
  const std::uint32_t written = r.U32();
  if (!Whole(r) || !status) return std::nullopt;
  return DeflatedAnswer{*status, next, written};
}

Payload EncodeVerifyAnswer(const VerifyAnswer& a) {
  return ByteWriter().U8(static_cast<std::uint8_t>(Status::Ok)).U32(a.crc).Take();
}

std::optional<VerifyAnswer> DecodeVerifyAnswer(PayloadView payload) {
  ByteReader r(payload);
  if (!StartsOk(r)) return std::nullopt;
  VerifyAnswer a{r.U32()};
  if (!Whole(r)) return std::nullopt;
  return a;
}

Payload EncodeRevertAnswer(const RevertAnswer& a) {
  return ByteWriter().U8(static_cast<std::uint8_t>(Status::Ok)).Bytes(a.header).Take();
}

std::optional<RevertAnswer> DecodeRevertAnswer(PayloadView payload) {
  ByteReader r(payload);
  if (!StartsOk(r)) return std::nullopt;
  const auto header = r.Rest();
  if (!IsSignedHeaderSize(header.size())) return std::nullopt;
  return RevertAnswer{{header.begin(), header.end()}};
}

}  // namespace wire
