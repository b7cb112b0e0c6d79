#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "kestra2g/wire/crc32.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/firmware_signature.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<wire::Frame> DecodeAll(const Bytes& stream, std::size_t chunk = 0) {
  wire::FrameDecoder decoder;
  std::vector<wire::Frame> frames;
  const std::size_t step = chunk == 0 ? stream.size() : chunk;
  for (std::size_t i = 0; i < stream.size(); i += step) {
    decoder.Feed(std::span(stream).subspan(i, std::min(step, stream.size() - i)));
    while (auto f = decoder.Next()) frames.push_back(std::move(*f));
  }
  return frames;
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(wire::Crc32(Bytes(check.begin(), check.end())), 0xCBF43926U);
  // Continuing a running CRC gives the same as one pass.
  const Bytes all(check.begin(), check.end());
  EXPECT_EQ(wire::Crc32(std::span(all).subspan(4), wire::Crc32(std::span(all).first(4))),
            0xCBF43926U);
}

TEST(FrameCodec, RoundTripsWholeAndByteByByte) {
  const Bytes payload = {1, 2, 3, 0xA5, 0x5A, 0};
  const Bytes stream =
      Concat({wire::EncodeFrame(0x05, 7, payload), wire::EncodeFrame(0x81, 8, {})});
  for (std::size_t chunk : {0U, 1U, 3U}) {
    const auto frames = DecodeAll(stream, chunk);
    ASSERT_EQ(frames.size(), 2U) << "chunk " << chunk;
    EXPECT_EQ(frames[0].type, 0x05);
    EXPECT_EQ(frames[0].seq, 7);
    EXPECT_EQ(frames[0].payload, payload);
    EXPECT_EQ(frames[1].type, 0x81);
    EXPECT_TRUE(frames[1].payload.empty());
  }
}

TEST(FrameCodec, ResynchronisesAfterGarbageAndFalseSyncs) {
  const Bytes good = wire::EncodeFrame(0x02, 1, Bytes{9, 9});
  // Garbage with false syncs: one with a bad length complement, one whose
  // length would swallow the real frame if only the sync were trusted.
  const Bytes garbage = {0x00, 0xA5, 0x5A, 0x10, 0x00, 0x00, 0x00, 0x13,
                         0xA5, 0x5A, 0x14, 0x00, 0xEB, 0xFF, 0x01, 0xA5};
  // A false sync with a fitting length holds decoding up until that many
  // bytes have come; the line goes on, so the idle filler stands for that.
  const auto frames = DecodeAll(Concat({garbage, good, garbage, good, Bytes(40, 0)}), 5);
  ASSERT_EQ(frames.size(), 2U);
  EXPECT_EQ(frames[1].payload, (Bytes{9, 9}));
}

TEST(FrameCodec, DropsAFrameWithABadCrcAndFindsTheNextOne) {
  Bytes bad = wire::EncodeFrame(0x05, 1, Bytes(100, 0x11));
  bad[50] ^= 0x04;
  const Bytes good = wire::EncodeFrame(0x05, 2, Bytes(10, 0x22));
  wire::FrameDecoder decoder;
  decoder.Feed(Concat({bad, good}));
  const auto frame = decoder.Next();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->seq, 2);
  EXPECT_FALSE(decoder.Next().has_value());
  EXPECT_GE(decoder.badFrames(), 1U);
}

TEST(FrameCodec, RejectsLengthsAboveTheLimitAtOnce) {
  wire::FrameDecoder decoder(16);
  const Bytes big = wire::EncodeFrame(0x05, 1, Bytes(17, 0));
  const Bytes small = wire::EncodeFrame(0x05, 2, Bytes(16, 0));
  decoder.Feed(Concat({big, small}));
  const auto frame = decoder.Next();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->seq, 2);
}

// The payloads of docs/protocol.md's tables, written out by hand: each row
// holds the fields and the bytes the document gives for them. Both ends use
// the same codec, so only bytes from outside it catch a layout that is wrong
// alike at both ends.
struct Golden {
  const char* name;
  Bytes bytes;
  std::optional<Bytes> encoded;  // the fields through the encoder; none: read only
  bool decodedSame;              // the bytes through the decoder give the fields
};

bool Same(const wire::DataRequest& a, const wire::DataRequest& b) {
  return a.offset == b.offset && std::ranges::equal(a.bytes, b.bytes);
}
bool Same(const wire::HeaderRequest& a, const wire::HeaderRequest& b) {
  return std::ranges::equal(a.header, b.header);
}
bool Same(const wire::ActivateRequest& a, const wire::ActivateRequest& b) {
  return std::ranges::equal(a.header, b.header) && a.restart == b.restart;
}
template <typename T>
bool Same(const T& a, const T& b) {
  return a == b;
}

// `both`: encoding the fields gives the bytes too; a form only older
// devices or hosts send is read only.
template <typename T, typename Encode, typename Decode>
Golden Row(const char* name, Bytes bytes, const T& fields, Encode encode, Decode decode,
           bool both = true) {
  const auto back = decode(bytes);
  return {name, bytes, both ? std::optional<Bytes>(encode(fields)) : std::nullopt,
          back.has_value() && Same(*back, fields)};
}

// A firmware header as MANIFEST and ACTIVATE carry it: the codec passes it
// on as it is, its content is firmware_file.h's.
Bytes Header(std::size_t size) {
  Bytes h(size);
  for (std::size_t i = 0; i < size; ++i) h[i] = static_cast<std::uint8_t>(0xC0 + i);
  return h;
}

const Bytes kSigned = Header(144);
const Bytes kUnsigned = Header(48);
// Format 3: 88 bytes of manifest, 72 a delta section, 64 of signature.
const Bytes kSignedOneDelta = Header(224);
const Bytes kSignedNoDelta = Header(152);
const Bytes kData = {0xDE, 0xAD, 0xBE};
const Bytes kStream = {0x78, 0xDA};
const Bytes kDelta = {0x28, 0xB5, 0x2F, 0xFD};  // a zstd frame begins so

wire::HelloInfo Device(std::uint8_t features, std::uint8_t windowBits,
                       std::vector<std::uint32_t> rates) {
  wire::HelloInfo h;
  h.protocol = 1;
  h.deviceCode = 2;
  h.state = wire::DeviceState::BootLoader;
  h.imageValid = true;
  h.maxData = 0x0800;
  h.window = 8;
  h.appBase = 0x4000;
  h.appSize = 0x000FC000;
  h.features = features;
  h.windowBits = windowBits;
  h.rates = std::move(rates);
  return h;
}

// The running payload's SHA-256 a device reports: 0x11, 0x12, ... 0x30.
wire::HelloInfo Running(wire::HelloInfo h, std::uint32_t counter) {
  for (std::size_t i = 0; i < h.runningSha256.size(); ++i) {
    h.runningSha256[i] = static_cast<std::uint8_t>(0x11 + i);
  }
  h.securityCounter = counter;
  return h;
}

Bytes RunningBytes() {
  Bytes b;
  for (std::uint8_t i = 0; i < 32; ++i) b.push_back(static_cast<std::uint8_t>(0x11 + i));
  return b;
}

std::vector<Golden> GoldenTable() {
  using wire::Status;
  auto hello = [](const wire::HelloInfo& h) { return wire::EncodeHello(Status::Ok, h); };
  auto empty = [](bool) { return wire::EncodeEmpty(); };
  auto decodeEmpty = [](wire::PayloadView p) {
    return wire::DecodeEmpty(p) ? std::optional(true) : std::nullopt;
  };
  auto setRate = [](const wire::SetRateRequest& r) { return wire::EncodeSetRate(r); };
  auto decodeSetRate = [](wire::PayloadView p) { return wire::DecodeSetRate(p); };
  const Bytes helloStart = {0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x08, 0x08,
                            0x00, 0x40, 0x00, 0x00, 0x00, 0xC0, 0x0F, 0x00};
  return {
      // Requests.
      Row("HELLO, protocol 1", {0x01}, wire::HelloRequest{1}, wire::EncodeHelloRequest,
          wire::DecodeHelloRequest),
      Row("QUERY product", {0x01}, wire::QueryRequest{wire::QueryKind::Product}, wire::EncodeQuery,
          wire::DecodeQuery),
      Row("QUERY application", {0x02}, wire::QueryRequest{wire::QueryKind::Application},
          wire::EncodeQuery, wire::DecodeQuery),
      Row("CATCH, RESTART", {}, true, empty, decodeEmpty),
      Row("ERASE 0x4000, 0x12345 bytes", {0x00, 0x40, 0x00, 0x00, 0x45, 0x23, 0x01, 0x00},
          wire::FlashRange{0x4000, 0x12345}, wire::EncodeRange, wire::DecodeRange),
      Row("VERIFY 0x4090, 6000 bytes", {0x90, 0x40, 0x00, 0x00, 0x70, 0x17, 0x00, 0x00},
          wire::FlashRange{0x4090, 6000}, wire::EncodeRange, wire::DecodeRange),
      Row("DATA at 0x4090", {0x90, 0x40, 0x00, 0x00, 0xDE, 0xAD, 0xBE},
          wire::DataRequest{0x4090, kData}, wire::EncodeData, wire::DecodeData),
      Row("DATA-DEFLATED at stream offset 4096", {0x00, 0x10, 0x00, 0x00, 0x78, 0xDA},
          wire::DataRequest{0x1000, kStream}, wire::EncodeData, wire::DecodeData),
      Row("MANIFEST", kSigned, wire::HeaderRequest{kSigned}, wire::EncodeHeader,
          wire::DecodeManifest),
      Row("ACTIVATE, signed", kSigned, wire::ActivateRequest{kSigned}, wire::EncodeActivate,
          wire::DecodeActivate),
      Row("ACTIVATE, unsigned", kUnsigned, wire::ActivateRequest{kUnsigned}, wire::EncodeActivate,
          wire::DecodeActivate),
      Row("ACTIVATE, signed, restart once answered", Concat({kSigned, {0x01}}),
          wire::ActivateRequest{kSigned, true}, wire::EncodeActivate, wire::DecodeActivate),
      Row("DATA-DELTA at stream offset 2048", {0x00, 0x08, 0x00, 0x00, 0x28, 0xB5, 0x2F, 0xFD},
          wire::DataRequest{0x800, kDelta}, wire::EncodeData, wire::DecodeData),
      Row("MANIFEST, format 3 with one delta section", kSignedOneDelta,
          wire::HeaderRequest{kSignedOneDelta}, wire::EncodeHeader, wire::DecodeManifest),
      Row("ACTIVATE, format 3 without delta sections", kSignedNoDelta,
          wire::ActivateRequest{kSignedNoDelta}, wire::EncodeActivate, wire::DecodeActivate),
      Row("REVERT, tell", {0x00}, wire::RevertRequest{wire::RevertAction::Tell}, wire::EncodeRevert,
          wire::DecodeRevert),
      Row("REVERT, revert", {0x01}, wire::RevertRequest{wire::RevertAction::Revert},
          wire::EncodeRevert, wire::DecodeRevert),
      Row("SET-RATE 921600, trial 150 ms", {0x00, 0x10, 0x0E, 0x00, 0x96, 0x00},
          wire::SetRateRequest{921600, 150}, setRate, decodeSetRate),
      Row("SET-RATE 115200, trial 3000 ms", {0x00, 0xC2, 0x01, 0x00, 0xB8, 0x0B},
          wire::SetRateRequest{115200, 3000}, setRate, decodeSetRate),
      Row("SET-RATE from before the trial", {0x00, 0xC2, 0x01, 0x00},
          wire::SetRateRequest{115200, 150}, setRate, decodeSetRate, false),
      Row("SET-RATE, a trial below the least kept as the least",
          {0x00, 0x10, 0x0E, 0x00, 0x14, 0x00}, wire::SetRateRequest{921600, 150}, setRate,
          decodeSetRate, false),

      // Answers.
      Row("status OK alone", {0x00}, Status::Ok, wire::EncodeStatusAnswer,
          wire::DecodeStatusAnswer),
      Row("status out of range alone", {0x03}, Status::OutOfRange, wire::EncodeStatusAnswer,
          wire::DecodeStatusAnswer),
      Row("status no valid signed manifest alone", {0x09}, Status::NotSigned,
          wire::EncodeStatusAnswer, wire::DecodeStatusAnswer),
      Row("status security counter below alone", {0x0A}, wire::kCounterBelow,
          wire::EncodeStatusAnswer, wire::DecodeStatusAnswer),
      Row("status no delta for the running image alone", {0x0B}, wire::kNoDeltaForBase,
          wire::EncodeStatusAnswer, wire::DecodeStatusAnswer),
      Row("status nothing to revert to alone", {0x0D}, wire::kNothingToRevert,
          wire::EncodeStatusAnswer, wire::DecodeStatusAnswer),
      Row("HELLO answer with rates and the running image",
          Concat({helloStart,
                  {0x0F, 0x0C, 0x01, 0x00, 0xC2, 0x01, 0x00},
                  RunningBytes(),
                  {0x07, 0x00, 0x00, 0x00}}),
          Running(Device(0x0F, 12, {115200}), 7), hello, wire::DecodeHello),
      Row("HELLO answer with the running image, no rates",
          Concat({helloStart, {0x0A, 0x00}, RunningBytes(), {0x00, 0x01, 0x00, 0x00}}),
          Running(Device(0x0A, 0, {}), 256), hello, wire::DecodeHello),
      Row("HELLO answer with every field",
          {0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x08, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0,
           0x0F, 0x00, 0x07, 0x0C, 0x02, 0x00, 0xC2, 0x01, 0x00, 0x00, 0x10, 0x0E, 0x00},
          Device(0x07, 12, {115200, 921600}), hello, wire::DecodeHello),
      Row("HELLO answer with features, no rates",
          {0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x08, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0, 0x0F,
           0x00, 0x01, 0x0C},
          Device(0x01, 12, {}), hello, wire::DecodeHello),
      Row("HELLO answer of a device from before the features",
          {0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x08, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0, 0x0F,
           0x00},
          Device(0, 0, {}), hello, wire::DecodeHello, false),
      Row("QUERY answer, boot text", {0x00, 0x00, 0x42, 0x4F, 0x4F, 0x54, 0x0D, 0x0A},
          wire::QueryAnswer{wire::QueryKind::Boot, "BOOT\r\n"}, wire::EncodeQueryAnswer,
          wire::DecodeQueryAnswer),
      Row("CATCH answer, device code 3", {0x00, 0x03}, wire::CatchAnswer{3},
          wire::EncodeCatchAnswer, wire::DecodeCatchAnswer),
      Row("DATA answer, gap, next 0x4890", {0x01, 0x90, 0x48, 0x00, 0x00},
          wire::DataAnswer{Status::Gap, 0x4890}, wire::EncodeDataAnswer, wire::DecodeDataAnswer),
      Row("DATA answer, not erased", {0x08, 0x90, 0x40, 0x00, 0x00},
          wire::DataAnswer{Status::NotErased, 0x4090}, wire::EncodeDataAnswer,
          wire::DecodeDataAnswer),
      Row("DATA-DEFLATED answer", {0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00},
          wire::DeflatedAnswer{Status::Ok, 0x1000, 0x2000}, wire::EncodeDeflatedAnswer,
          wire::DecodeDeflatedAnswer),
      Row("VERIFY answer", {0x00, 0x26, 0x39, 0xF4, 0xCB}, wire::VerifyAnswer{0xCBF43926},
          wire::EncodeVerifyAnswer, wire::DecodeVerifyAnswer),
      Row("DATA-DELTA answer, delta does not match",
          {0x0C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00},
          wire::DeflatedAnswer{wire::kDeltaMismatch, 0x100, 0x3000}, wire::EncodeDeflatedAnswer,
          wire::DecodeDeflatedAnswer),
      Row("REVERT answer, a format 3 header", Concat({{0x00}, kSignedNoDelta}),
          wire::RevertAnswer{kSignedNoDelta}, wire::EncodeRevertAnswer, wire::DecodeRevertAnswer),
  };
}

TEST(WireCodec, EveryRequestAndAnswerHasTheDocumentsBytes) {
  for (const Golden& g : GoldenTable()) {
    if (g.encoded) {
      EXPECT_EQ(*g.encoded, g.bytes) << g.name;
    }
    EXPECT_TRUE(g.decodedSame) << g.name;
  }
}

TEST(WireCodec, MalformedPayloadsDecodeToNothing) {
  const Bytes hello = {0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x08, 0x08, 0x00, 0x40, 0x00, 0x00,
                       0x00, 0xC0, 0x0F, 0x00, 0x04, 0x0C, 0x01, 0x00, 0xC2, 0x01, 0x00};
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) {
    b[at] = v;
    return b;
  };
  auto cut = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.end() - n); };
  auto longer = [](Bytes b) {
    b.push_back(0);
    return b;
  };
  struct Malformed {
    const char* name;
    bool decoded;
  };
  const std::vector<Malformed> cases = {
      {"HELLO empty", wire::DecodeHelloRequest({}).has_value()},
      {"HELLO long", wire::DecodeHelloRequest(Bytes{0x01, 0x00}).has_value()},
      {"QUERY empty", wire::DecodeQuery({}).has_value()},
      {"QUERY long", wire::DecodeQuery(Bytes{0x01, 0x00}).has_value()},
      {"QUERY kind 3", wire::DecodeQuery(Bytes{0x03}).has_value()},
      {"CATCH with a byte", wire::DecodeEmpty(Bytes{0x00})},
      {"range short",
       wire::DecodeRange(Bytes{0x00, 0x40, 0x00, 0x00, 0x00, 0x10, 0x00}).has_value()},
      {"range long", wire::DecodeRange(Bytes(9, 0)).has_value()},
      {"DATA short", wire::DecodeData(Bytes{0x90, 0x40, 0x00}).has_value()},
      {"DATA without bytes", wire::DecodeData(Bytes{0x90, 0x40, 0x00, 0x00}).has_value()},
      {"MANIFEST short", wire::DecodeManifest(cut(kSigned, 1)).has_value()},
      {"MANIFEST long", wire::DecodeManifest(longer(kSigned)).has_value()},
      {"MANIFEST unsigned", wire::DecodeManifest(kUnsigned).has_value()},
      {"MANIFEST between format 3 sizes", wire::DecodeManifest(longer(kSignedNoDelta)).has_value()},
      {"MANIFEST format 3, 17 sections", wire::DecodeManifest(Header(152 + 17 * 72)).has_value()},
      {"REVERT empty", wire::DecodeRevert({}).has_value()},
      {"REVERT action 2", wire::DecodeRevert(Bytes{0x02}).has_value()},
      {"REVERT long", wire::DecodeRevert(Bytes{0x01, 0x00}).has_value()},
      {"REVERT answer refused", wire::DecodeRevertAnswer(Bytes{0x0D}).has_value()},
      {"REVERT answer without a whole header",
       wire::DecodeRevertAnswer(Concat({{0x00}, cut(kSigned, 1)})).has_value()},
      {"HELLO answer cut in the running image",
       wire::DecodeHello(
           cut(wire::EncodeHello(wire::Status::Ok, Running(Device(0x0A, 0, {}), 1)), 1))
           .has_value()},
      {"ACTIVATE short", wire::DecodeActivate(cut(kUnsigned, 1)).has_value()},
      {"ACTIVATE between", wire::DecodeActivate(longer(kUnsigned)).has_value()},
      {"ACTIVATE long", wire::DecodeActivate(longer(kSigned)).has_value()},
      {"ACTIVATE, restart flag 2", wire::DecodeActivate(Concat({kSigned, {0x02}})).has_value()},
      {"ACTIVATE, restart flag and a byte more",
       wire::DecodeActivate(Concat({kUnsigned, {0x01, 0x01}})).has_value()},
      {"SET-RATE short", wire::DecodeSetRate(Bytes{0x00, 0x10, 0x0E}).has_value()},
      {"SET-RATE cut trial", wire::DecodeSetRate(Bytes{0x00, 0x10, 0x0E, 0x00, 0x96}).has_value()},
      {"SET-RATE long",
       wire::DecodeSetRate(Bytes{0x00, 0x10, 0x0E, 0x00, 0x96, 0x00, 0x00}).has_value()},
      {"SET-RATE rate 0", wire::DecodeSetRate(Bytes{0, 0, 0, 0, 0x96, 0x00}).has_value()},
      {"status empty", wire::DecodeStatusAnswer({}).has_value()},
      {"status long", wire::DecodeStatusAnswer(Bytes{0x00, 0x00}).has_value()},
      {"status 14", wire::DecodeStatusAnswer(Bytes{0x0E}).has_value()},
      {"HELLO answer refused", wire::DecodeHello(with(hello, 0, 0x07)).has_value()},
      {"HELLO answer state 2", wire::DecodeHello(with(hello, 3, 0x02)).has_value()},
      {"HELLO answer max data 0", wire::DecodeHello(with(with(hello, 5, 0), 6, 0)).has_value()},
      {"HELLO answer window 0", wire::DecodeHello(with(hello, 7, 0)).has_value()},
      {"HELLO answer cut in the features",
       wire::DecodeHello(Bytes(hello.begin(), hello.begin() + 17)).has_value()},
      {"HELLO answer cut rate list", wire::DecodeHello(cut(hello, 1)).has_value()},
      {"HELLO answer 17 rates", wire::DecodeHello(with(hello, 18, 17)).has_value()},
      {"QUERY answer short", wire::DecodeQueryAnswer(Bytes{0x00}).has_value()},
      {"QUERY answer refused", wire::DecodeQueryAnswer(Bytes{0x06}).has_value()},
      {"QUERY answer kind 3", wire::DecodeQueryAnswer(Bytes{0x00, 0x03, 0x41}).has_value()},
      {"CATCH answer short", wire::DecodeCatchAnswer(Bytes{0x00}).has_value()},
      {"CATCH answer long", wire::DecodeCatchAnswer(Bytes{0x00, 0x03, 0x00}).has_value()},
      {"CATCH answer refused", wire::DecodeCatchAnswer(Bytes{0x07, 0x03}).has_value()},
      {"DATA answer short", wire::DecodeDataAnswer(Bytes{0x01, 0x90, 0x48, 0x00}).has_value()},
      {"DATA answer long", wire::DecodeDataAnswer(Bytes{0x01, 0x90, 0x48, 0, 0, 0}).has_value()},
      {"DATA answer status 14", wire::DecodeDataAnswer(Bytes{0x0E, 0x90, 0x48, 0, 0}).has_value()},
      {"DATA answer refused alone", wire::DecodeDataAnswer(Bytes{0x02}).has_value()},
      {"DATA-DEFLATED answer short", wire::DecodeDeflatedAnswer(Bytes(8, 0)).has_value()},
      {"DATA-DEFLATED answer long", wire::DecodeDeflatedAnswer(Bytes(10, 0)).has_value()},
      {"DATA-DEFLATED answer status 14",
       wire::DecodeDeflatedAnswer(with(Bytes(9, 0), 0, 0x0E)).has_value()},
      {"VERIFY answer short", wire::DecodeVerifyAnswer(Bytes{0x00, 0x26, 0x39, 0xF4}).has_value()},
      {"VERIFY answer long", wire::DecodeVerifyAnswer(Bytes(6, 0)).has_value()},
      {"VERIFY answer refused", wire::DecodeVerifyAnswer(Bytes{0x03}).has_value()},
  };
  for (const Malformed& m : cases) EXPECT_FALSE(m.decoded) << m.name;
}

// The frame table, by hand: HELLO as sequence 7, and RESTART's answer to it.
TEST(FrameCodec, FramesHaveTheDocumentsBytes) {
  EXPECT_EQ(wire::EncodeFrame(0x01, 7, Bytes{0x01}),
            (Bytes{0xA5, 0x5A, 0x01, 0x00, 0xFE, 0xFF, 0x01, 0x07, 0x01, 0x61, 0xF0, 0x9E, 0x2B}));
  EXPECT_EQ(wire::EncodeFrame(0x88, 7, Bytes{0x00}),
            (Bytes{0xA5, 0x5A, 0x01, 0x00, 0xFE, 0xFF, 0x88, 0x07, 0x00, 0xF8, 0xE0, 0x7D, 0xB2}));
}

TEST(FirmwareFile, BuildsAFileThatChecksOutAndCatchesDamage) {
  const Bytes payload(5000, 0x5C);
  Bytes file = wire::BuildFirmwareFile(1, "TQ640", "4.0.1", payload);
  ASSERT_EQ(file.size(), wire::kFirmwareHeaderSize + payload.size());
  wire::FirmwareHeader h;
  ASSERT_EQ(wire::CheckFirmwareImage(file, &h), wire::FirmwareCheck::Ok);
  EXPECT_EQ(h.deviceCode, 1);
  EXPECT_EQ(h.familyName, "TQ640");
  EXPECT_EQ(h.version, "4.0.1");
  EXPECT_EQ(h.payloadSize, 5000U);

  Bytes damaged = file;
  damaged[wire::kFirmwareHeaderSize + 10] ^= 1;
  EXPECT_EQ(wire::CheckFirmwareImage(damaged, nullptr), wire::FirmwareCheck::BadCrc);
  damaged = file;
  damaged[6] = 0;  // another family, header CRC no longer fits
  EXPECT_EQ(wire::CheckFirmwareImage(damaged, nullptr), wire::FirmwareCheck::BadHeaderCrc);
  damaged = file;
  damaged.push_back(0);
  EXPECT_EQ(wire::CheckFirmwareImage(damaged, nullptr), wire::FirmwareCheck::SizeMismatch);
  EXPECT_EQ(wire::CheckFirmwareImage(std::span(file).first(20), nullptr),
            wire::FirmwareCheck::TooShort);
  const std::string text = "not firmware at all, just some text in a file.....";
  EXPECT_EQ(wire::CheckFirmwareImage(Bytes(text.begin(), text.end()), nullptr),
            wire::FirmwareCheck::BadMagic);
}

// Format 3 as docs/protocol.md lays it out, at its offsets by hand: the
// counter and the table under the signature, the sections after the payload.
TEST(FirmwareFile, Format3PlacesTheCounterAndTheDeltaTableUnderTheSignature) {
  const Bytes payload(3000, 0x5C), first(700, 0x01), second(40, 0x02);
  wire::Sha256Digest baseA{}, baseB{};
  baseA.fill(0xAA);
  baseB.fill(0xBB);
  const wire::DeltaInput deltas[] = {{baseA, first}, {baseB, second}};
  const auto key = wire::Ed25519Generate().value();
  const Bytes file =
      wire::BuildDeltaFirmwareFile(2, "MV5100", "3.1", payload, 0x01020304, deltas, key).value();
  const std::size_t image = 296 + 3000;  // 88 + 2 x 72 + 64, then the payload
  ASSERT_EQ(file.size(), image + 700 + 40);
  auto at = [&](std::size_t i, std::size_t n) {
    return Bytes(file.begin() + i, file.begin() + i + n);
  };
  EXPECT_EQ(at(4, 2), (Bytes{0x03, 0x00}));
  EXPECT_EQ(at(80, 8), (Bytes{0x04, 0x03, 0x02, 0x01, 0x02, 0x00, 0x00, 0x00}));
  EXPECT_EQ(at(88, 32), Bytes(32, 0xAA));
  const wire::Sha256Digest firstSha = wire::Sha256(first);
  EXPECT_EQ(at(120, 32), Bytes(firstSha.begin(), firstSha.end()));
  EXPECT_EQ(at(152, 8), (Bytes{0xE0, 0x0C, 0x00, 0x00, 0xBC, 0x02, 0x00, 0x00}));  // 3296, 700
  EXPECT_EQ(at(160, 32), Bytes(32, 0xBB));
  EXPECT_EQ(at(224, 8), (Bytes{0x9C, 0x0F, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00}));  // 3996, 40
  EXPECT_EQ(at(296, 3000), payload);
  EXPECT_EQ(at(image, 700), first);

  wire::FirmwareHeader h;
  ASSERT_EQ(wire::CheckFirmwareImage(file, &h), wire::FirmwareCheck::Ok);
  EXPECT_EQ(h.size(), 296U);
  EXPECT_EQ(h.securityCounter, 0x01020304U);
  ASSERT_EQ(h.deltas.size(), 2U);
  EXPECT_EQ(h.DeltaFor(baseB), &h.deltas[1]);
  const wire::KeySlot slot[] = {{key.publicKey, false, "maker"}};
  EXPECT_EQ(wire::CheckSignature(file, h, slot), wire::SignatureCheck::Ok);
  // The image a device holds is a whole image too; a cut section is not.
  EXPECT_EQ(wire::CheckFirmwareImage(std::span(file).first(image), nullptr),
            wire::FirmwareCheck::Ok);
  EXPECT_EQ(wire::CheckFirmwareImage(std::span(file).first(image + 700), nullptr),
            wire::FirmwareCheck::SizeMismatch);
  Bytes damaged = file;
  damaged[image + 699] ^= 1;
  EXPECT_EQ(wire::CheckFirmwareImage(damaged, nullptr), wire::FirmwareCheck::BadDeltaHash);
  damaged = file;
  damaged[100] ^= 1;  // a base: still a table, no longer the signed one
  ASSERT_EQ(wire::ParseFirmwareHeader(damaged, &h), wire::FirmwareCheck::Ok);
  EXPECT_EQ(wire::CheckSignature(damaged, h, slot), wire::SignatureCheck::BadSignature);
  damaged = file;
  damaged[152] ^= 1;  // a section out of its place
  EXPECT_EQ(wire::ParseFirmwareHeader(damaged, nullptr), wire::FirmwareCheck::BadDeltaTable);
  damaged = file;
  std::copy_n(file.begin() + 88, 32, damaged.begin() + 160);  // one base twice
  EXPECT_EQ(wire::ParseFirmwareHeader(damaged, nullptr), wire::FirmwareCheck::BadDeltaTable);
  damaged = file;
  damaged[84] = 17;
  EXPECT_EQ(wire::ParseFirmwareHeader(damaged, nullptr), wire::FirmwareCheck::BadDeltaTable);
}

}  // namespace
