#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kestra2g/wire/crc32.h"
#include "kestra2g/wire/firmware_file.h"
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

TEST(Hello, RoundTripsAndRefusesShortOrFailedReplies) {
  wire::HelloInfo h;
  h.deviceCode = 2;
  h.state = wire::DeviceState::Application;
  h.imageValid = true;
  h.maxData = 1024;
  h.window = 3;
  h.appBase = 0x4000;
  h.appSize = 0xC000;
  h.features = wire::kFeatureDeflate;
  h.windowBits = 12;
  const Bytes encoded = wire::EncodeHello(wire::Status::Ok, h);
  const auto back = wire::DecodeHello(encoded);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->deviceCode, 2);
  EXPECT_EQ(back->state, wire::DeviceState::Application);
  EXPECT_EQ(back->appSize, 0xC000U);
  EXPECT_TRUE(back->OffersDeflate());
  // A device from before compressed images ends after the area size.
  const auto older = wire::DecodeHello(std::span(encoded).first(encoded.size() - 2));
  ASSERT_TRUE(older.has_value());
  EXPECT_FALSE(older->OffersDeflate());
  EXPECT_FALSE(wire::DecodeHello(std::span(encoded).first(encoded.size() - 1)).has_value());
  EXPECT_FALSE(wire::DecodeHello(wire::EncodeHello(wire::Status::BadRequest, h)).has_value());

  // The rate list comes last: a parser that stops after the window bits
  // still reads the rest, and a cut list is refused.
  h.features |= wire::kFeatureRates;
  h.rates = {115200, 921600};
  const Bytes withRates = wire::EncodeHello(wire::Status::Ok, h);
  EXPECT_EQ(withRates.size(), encoded.size() + 1 + 8);
  EXPECT_EQ(wire::DecodeHello(withRates).value_or(wire::HelloInfo{}).rates, h.rates);
  EXPECT_TRUE(std::equal(encoded.begin(), encoded.end() - 2, withRates.begin()));
  EXPECT_FALSE(wire::DecodeHello(std::span(withRates).first(withRates.size() - 1)).has_value());
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

}  // namespace
