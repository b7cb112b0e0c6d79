#pragma once
// The payload of every request, one struct each, with the one encoder and the
// one decoder both ends use. A decoder gives nothing for a payload that does
// not fit the layout; what the values mean (a range, a family) is for the
// device to judge.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "kestra2g/wire/protocol_types.h"

namespace wire {

using Payload = std::vector<std::uint8_t>;
using PayloadView = std::span<const std::uint8_t>;

// HELLO: the protocol version the host speaks. The device answers with its
// own, whatever this says.
struct HelloRequest {
  std::uint8_t protocol = kProtocolVersion;
  bool operator==(const HelloRequest&) const = default;
};
Payload EncodeHelloRequest(const HelloRequest& r);
std::optional<HelloRequest> DecodeHelloRequest(PayloadView payload);

// QUERY: which text the device is to tell.
struct QueryRequest {
  QueryKind kind = QueryKind::Boot;
  bool operator==(const QueryRequest&) const = default;
};
Payload EncodeQuery(const QueryRequest& r);
std::optional<QueryRequest> DecodeQuery(PayloadView payload);

// CATCH, RESTART: nothing but the request type.
Payload EncodeEmpty();
bool DecodeEmpty(PayloadView payload);

// ERASE (the application area from its base) and VERIFY (the CRC-32 of a
// flash range): a range of absolute flash addresses.
struct FlashRange {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  bool operator==(const FlashRange&) const = default;
};
Payload EncodeRange(const FlashRange& r);
std::optional<FlashRange> DecodeRange(PayloadView payload);

// DATA (by absolute flash address), DATA-DEFLATED (by offset in the
// compressed stream) and DATA-DELTA (by offset in the delta section): where
// the bytes go, then at least one byte. The decoded bytes are a view into
// the payload.
struct DataRequest {
  std::uint32_t offset = 0;
  PayloadView bytes;
};
// What a data frame's payload carries ahead of its bytes.
inline constexpr std::size_t kDataHeaderSize = 4;
Payload EncodeData(const DataRequest& r);
std::optional<DataRequest> DecodeData(PayloadView payload);

// MANIFEST: the signed header of a format 2 or 3 file (manifest and
// signature: 144 bytes, or 152 and 72 a delta section for format 3). A view
// into the payload; what the header says is checked with firmware_file.h.
struct HeaderRequest {
  PayloadView header;
};
Payload EncodeHeader(const HeaderRequest& r);
std::optional<HeaderRequest> DecodeManifest(PayloadView payload);

// ACTIVATE: the header of the file whose payload was written (a signed
// header as MANIFEST's, or 48 bytes for an unsigned image), then, only to a
// device with kFeatureRestartOnActivate and only when asked, the flag byte 1:
// restart once the OK answer has left. No header size plus one is a header
// size, so the length tells whether the flag is there.
struct ActivateRequest {
  PayloadView header;
  bool restart = false;
};
Payload EncodeActivate(const ActivateRequest& r);
std::optional<ActivateRequest> DecodeActivate(PayloadView payload);

// SET-RATE: the line rate (not 0), then the trial in ms. A request from
// before the trial ends after the rate; it gets kRateTrialMs.
struct SetRateRequest {
  std::uint32_t rate = kBaseRate;
  int trialMs = kRateTrialMs;  // as the device keeps it: within its bounds
  bool operator==(const SetRateRequest&) const = default;
};
Payload EncodeSetRate(const SetRateRequest& r);
Payload EncodeSetRate(std::uint32_t rate, int trialMs);
std::optional<SetRateRequest> DecodeSetRate(PayloadView payload);

// REVERT: whether to only tell which image would run, or to run it.
struct RevertRequest {
  RevertAction action = RevertAction::Tell;
  bool operator==(const RevertRequest&) const = default;
};
Payload EncodeRevert(const RevertRequest& r);
std::optional<RevertRequest> DecodeRevert(PayloadView payload);

}  // namespace wire
