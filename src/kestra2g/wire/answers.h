#pragma once
// The payload of every answer, one struct each, with the one encoder and the
// one decoder both ends use. Every answer starts with its status. A refusal
// is the status alone, and so is the whole answer to ERASE, ACTIVATE,
// RESTART, MANIFEST and SET-RATE; the answers to DATA, DATA-DEFLATED and
// DATA-DELTA carry their offsets whatever the status (a gap, a refusal of the
// boot loader).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kestra2g/wire/protocol_types.h"
#include "kestra2g/wire/requests.h"
#include "kestra2g/wire/signing.h"

namespace wire {

// The status an answer starts with, to tell a refusal by; BadRequest when
// the answer is empty.
Status ReplyStatus(PayloadView payload);

// An answer that is its status alone; nothing for an unknown status.
Payload EncodeStatusAnswer(Status s);
std::optional<Status> DecodeStatusAnswer(PayloadView payload);

// HELLO, answered OK: who the device is and what it can take.
struct HelloInfo {
  std::uint8_t protocol = kProtocolVersion;
  std::uint8_t deviceCode = 0;  // the library's device code of the family
  DeviceState state = DeviceState::BootLoader;
  bool imageValid = false;
  std::uint16_t maxData = 0;  // largest data block per frame
  std::uint8_t window = 1;    // data frames the device buffers
  std::uint32_t appBase = 0;  // first byte of the application area
  std::uint32_t appSize = 0;  // bytes in the application area
  // Optional: devices before compressed images end the answer above.
  std::uint8_t features = 0;    // kFeature... bits
  std::uint8_t windowBits = 0;  // deflate window the device inflates with (2^bits bytes)
  // Optional after those: line rates the device runs (kFeatureRates), the
  // base rate among them.
  std::vector<std::uint32_t> rates;
  // Optional after those (kFeatureRunningImage): the SHA-256 of the payload
  // that runs (zeros when no valid image does) and the stored counter.
  Sha256Digest runningSha256{};
  std::uint32_t securityCounter = 0;
  bool ReportsRunningImage() const { return (features & kFeatureRunningImage) != 0; }
  bool ChecksSignatures() const { return (features & kFeatureSignatureCheck) != 0; }
  bool RestartsOnActivate() const { return (features & kFeatureRestartOnActivate) != 0; }
  bool OffersDeflate() const {
    return (features & kFeatureDeflate) != 0 && windowBits >= 9 && windowBits <= 15;
  }
  bool operator==(const HelloInfo&) const = default;
};
// Written with the features and the window bits (a device from before them
// ended the answer after the area size).
Payload EncodeHello(Status s, const HelloInfo& h);
// Nothing unless the status is OK. Bytes after the last field a device of
// that kind sends are left for later versions.
std::optional<HelloInfo> DecodeHello(PayloadView payload);

// QUERY, answered OK: the kind asked and its text (the device's bytes, as
// they came).
struct QueryAnswer {
  QueryKind kind = QueryKind::Boot;
  std::string text;
  bool operator==(const QueryAnswer&) const = default;
};
Payload EncodeQueryAnswer(const QueryAnswer& a);
std::optional<QueryAnswer> DecodeQueryAnswer(PayloadView payload);

// CATCH, answered OK: the family of the boot loader caught.
struct CatchAnswer {
  std::uint8_t deviceCode = 0;
  bool operator==(const CatchAnswer&) const = default;
};
Payload EncodeCatchAnswer(const CatchAnswer& a);
std::optional<CatchAnswer> DecodeCatchAnswer(PayloadView payload);

// DATA: the next absolute flash address the device expects, cumulative.
struct DataAnswer {
  Status status = Status::Ok;
  std::uint32_t next = 0;
  bool operator==(const DataAnswer&) const = default;
};
Payload EncodeDataAnswer(const DataAnswer& a);
std::optional<DataAnswer> DecodeDataAnswer(PayloadView payload);

// DATA-DEFLATED and DATA-DELTA: the next stream offset the device expects,
// cumulative, and the image bytes it has written so far.
struct DeflatedAnswer {
  Status status = Status::Ok;
  std::uint32_t next = 0;
  std::uint32_t written = 0;
  bool operator==(const DeflatedAnswer&) const = default;
};
Payload EncodeDeflatedAnswer(const DeflatedAnswer& a);
std::optional<DeflatedAnswer> DecodeDeflatedAnswer(PayloadView payload);

// VERIFY, answered OK: the CRC-32 of the range asked.
struct VerifyAnswer {
  std::uint32_t crc = 0;
  bool operator==(const VerifyAnswer&) const = default;
};
Payload EncodeVerifyAnswer(const VerifyAnswer& a);
std::optional<VerifyAnswer> DecodeVerifyAnswer(PayloadView payload);

// REVERT, answered OK: the signed header of the previous image (the one
// that would run, or now runs).
struct RevertAnswer {
  std::vector<std::uint8_t> header;
  bool operator==(const RevertAnswer&) const = default;
};
Payload EncodeRevertAnswer(const RevertAnswer& a);
std::optional<RevertAnswer> DecodeRevertAnswer(PayloadView payload);

}  // namespace wire
