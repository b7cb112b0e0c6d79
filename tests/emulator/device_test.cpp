// The emulated remote's rules, without a pty: what it refuses, and what a
// reset or a power loss leaves behind.

#include "emulator/device.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "emulator/faults.h"
#include "kestra2g/deflate_image.h"
#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/crc32.h"
#include "kestra2g/wire/firmware_file.h"
#include "support/development_keys.h"

namespace {

using emulator::Clock;
using emulator::Device;
using emulator::DeviceConfig;
using emulator::Outgoing;
using emulator::PowerState;
using wire::Request;
using wire::Status;

struct Reply {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> payload;
};

std::optional<Reply> Ask(Device& d, Request r, std::vector<std::uint8_t> payload) {
  std::vector<Outgoing> out;
  d.Handle({static_cast<std::uint8_t>(r), 1, std::move(payload)}, Clock::now(), out);
  if (out.empty()) return std::nullopt;
  wire::FrameDecoder dec;
  dec.Feed(out.front().bytes);
  auto f = dec.Next();
  return Reply{f->type, f->payload};
}

Status StatusOf(const std::optional<Reply>& r) {
  return r ? static_cast<Status>(r->payload.at(0)) : Status::BadRequest;
}

// A boot loader from before signed firmware: raw erases, writes in place.
DeviceConfig BootLoaderConfig() {
  DeviceConfig c;
  c.checkSignatures = false;
  c.initialState = PowerState::BootLoader;
  c.flashSize = 64 * 1024;
  c.eraseTime = {};
  return c;
}

TEST(EmulatedDevice, RefusesWritesIntoTheBootLoaderAndTheHeader) {
  Device d(BootLoaderConfig());
  ASSERT_EQ(StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(16384).U32(8192).Take())),
            Status::Ok);
  for (std::uint32_t offset : {0U, 100U, 16383U, 16384U, 16384U + 47U}) {
    const auto r = Ask(d, Request::Data, wire::ByteWriter().U32(offset).U8(1).U8(2).Take());
    EXPECT_EQ(StatusOf(r), Status::OutOfRange) << offset;
  }
  // Erasing the boot loader is refused as well.
  EXPECT_EQ(StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(0).U32(8192).Take())),
            Status::OutOfRange);
}

TEST(EmulatedDevice, AnInterruptedUpdateLeavesNoValidImageAndTheBootLoader) {
  DeviceConfig c = BootLoaderConfig();
  c.initialState = PowerState::Application;
  Device d(c);
  ASSERT_TRUE(d.imageValid());
  d.PressReset(Clock::now());
  ASSERT_EQ(d.state(), PowerState::BootLoader);
  ASSERT_EQ(StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(16384).U32(4096).Take())),
            Status::Ok);
  EXPECT_FALSE(d.imageValid());
  d.PowerLoss(Clock::now());
  EXPECT_EQ(d.state(), PowerState::BootLoader);
  // A restart does not leave the boot loader either.
  EXPECT_EQ(StatusOf(Ask(d, Request::Restart, {})), Status::Ok);
  EXPECT_EQ(d.state(), PowerState::BootLoader);
  // And data after the power loss needs a new erase first.
  EXPECT_EQ(StatusOf(Ask(d, Request::Data, wire::ByteWriter().U32(16384 + 48).U8(1).Take())),
            Status::NotErased);
}

TEST(EmulatedDevice, ActivationChecksTheWrittenImage) {
  Device d(BootLoaderConfig());
  const std::vector<std::uint8_t> payload(2000, 0x42);
  const auto file = wire::BuildFirmwareFile(0, "HLX700", "7.0.0", payload);
  ASSERT_EQ(StatusOf(Ask(
                d, Request::Erase,
                wire::ByteWriter().U32(16384).U32(static_cast<std::uint32_t>(file.size())).Take())),
            Status::Ok);
  const std::vector<std::uint8_t> head(file.begin(), file.begin() + 48);
  // Nothing written yet: the header is refused.
  EXPECT_EQ(StatusOf(Ask(d, Request::Activate, head)), Status::BadImage);
  EXPECT_FALSE(d.imageValid());
  const auto data = wire::ByteWriter().U32(16384 + 48).Bytes(payload).Take();
  ASSERT_EQ(StatusOf(Ask(d, Request::Data, data)), Status::Ok);
  auto other = wire::BuildFirmwareFile(1, "TQ640", "7.0.0", payload);
  EXPECT_EQ(StatusOf(Ask(d, Request::Activate, {other.begin(), other.begin() + 48})),
            Status::BadImage);  // another family's header
  EXPECT_EQ(StatusOf(Ask(d, Request::Activate, head)), Status::Ok);
  EXPECT_TRUE(d.imageValid());
  EXPECT_EQ(d.TakeActivatedImage(), file);
}

// ACTIVATE's restart flag: refused while data is missing (and nothing
// changes), a restart at the base rate once the OK answer leaves; a boot
// loader that does not offer it refuses the flagged request.
TEST(EmulatedDevice, ActivateWithTheRestartFlagRestartsOnlyWhenOfferedAndOk) {
  for (const bool offered : {true, false}) {
    SCOPED_TRACE(offered ? "offered" : "not offered");
    DeviceConfig c = BootLoaderConfig();
    c.restartOnActivate = offered;
    Device d(c);
    const std::vector<std::uint8_t> payload(3000, 0x5A);
    const auto file = wire::BuildFirmwareFile(0, "HLX700", "7.1.0", payload);
    const auto head = std::span(file).first(48);
    auto activate = [&](bool restart) {
      std::vector<Outgoing> out;
      d.Handle(
          {static_cast<std::uint8_t>(Request::Activate), 2, wire::EncodeActivate({head, restart})},
          Clock::now(), out);
      EXPECT_EQ(out.size(), 1U);
      return out.empty() ? Outgoing{} : out.front();
    };
    auto status = [](const Outgoing& o) {
      return static_cast<Status>(o.bytes.at(wire::kHeaderSize));
    };
    ASSERT_EQ(StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(16384).U32(8192).Take())),
              Status::Ok);
    ASSERT_EQ(StatusOf(Ask(
                  d, Request::Data,
                  wire::ByteWriter().U32(16384 + 48).Bytes(std::span(payload).first(1000)).Take())),
              Status::Ok);
    const Outgoing early = activate(true);
    EXPECT_EQ(status(early), Status::BadImage);
    EXPECT_FALSE(early.rateAfter.has_value());
    EXPECT_EQ(d.state(), PowerState::BootLoader);
    ASSERT_EQ(StatusOf(Ask(d, Request::Data,
                           wire::ByteWriter()
                               .U32(16384 + 48 + 1000)
                               .Bytes(std::span(payload).subspan(1000))
                               .Take())),
              Status::Ok);
    const Outgoing whole = activate(true);
    EXPECT_EQ(status(whole), offered ? Status::Ok : Status::BadImage);
    EXPECT_EQ(whole.rateAfter, offered ? std::optional(wire::kBaseRate) : std::nullopt);
    EXPECT_EQ(d.state(), offered ? PowerState::Application : PowerState::BootLoader);
    EXPECT_EQ(d.imageValid(), offered);
    if (!offered) {
      EXPECT_EQ(status(activate(false)), Status::Ok);
      EXPECT_EQ(d.state(), PowerState::BootLoader);
    }
    EXPECT_EQ(d.TakeActivatedImage(), file);
  }
}

TEST(EmulatedDevice, AnswersEveryFrameAndKeepsWhatCameBeyondAGap) {
  Device d(BootLoaderConfig());
  ASSERT_EQ(StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(16384).U32(4096).Take())),
            Status::Ok);
  const std::uint32_t base = 16384 + 48;
  // Resent blocks may be cut differently from the first sending.
  const struct {
    std::uint32_t at, length;
    Status status;
    std::uint32_t next;
  } steps[] = {
      {100, 100, Status::Gap, 0},   {200, 100, Status::Gap, 0},   // each frame answered
      {0, 50, Status::Gap, 50},     {20, 150, Status::Ok, 300},   // straddles the next offset
      {0, 10, Status::Ok, 300},                                   // a duplicate
      {400, 200, Status::Gap, 300}, {400, 50, Status::Gap, 300},  // shorter at the same start
      {300, 100, Status::Ok, 600},
  };
  for (const auto& s : steps) {
    const auto reply = Ask(
        d, Request::Data,
        wire::ByteWriter().U32(base + s.at).Bytes(std::vector<std::uint8_t>(s.length, 1)).Take());
    ASSERT_TRUE(reply.has_value()) << s.at;
    EXPECT_EQ(StatusOf(reply), s.status) << s.at;
    wire::ByteReader r(reply->payload);
    r.U8();
    EXPECT_EQ(r.U32(), base + s.next) << s.at;
  }
}

// The host's compression, as the library sends it.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& image, int windowBits) {
  return kestra2g::DeflateImage(image, windowBits).value();
}

// A compressed image: inflated into the erased area whatever order its
// pieces come in; anything else is refused and never written past that area.
TEST(EmulatedDevice, InflatesAGoodStreamAndRefusesABadOne) {
  std::vector<std::uint8_t> image(6000);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i % 7 * i / 13);
  const auto good = Deflate(image, 12);
  auto corrupt = good;
  corrupt[good.size() / 2] ^= 0x55;
  auto trailing = good;
  trailing.push_back(0);
  const struct {
    const char* name;
    std::vector<std::uint8_t> stream;
    std::uint32_t eraseLength;
    bool reversed;  // the pieces after the first arrive last first
    Status last;
    bool whole;  // the image is in flash
  } cases[] = {
      {"in order", good, 48 + 6000, false, Status::Ok, true},
      {"last pieces first", good, 48 + 6000, true, Status::Ok, true},
      {"corrupt", corrupt, 48 + 6000, false, Status::BadImage, false},
      {"larger than the erased area", good, 48 + 5000, false, Status::BadImage, false},
      {"a larger window than the device has", Deflate(image, 15), 48 + 6000, false,
       Status::BadImage, false},
      {"bytes after the end", trailing, 48 + 6000, false, Status::BadImage, true},
  };
  for (const auto& c : cases) {
    DeviceConfig config = BootLoaderConfig();
    config.maxData = 512;
    config.window = 2;
    config.inflateWindowBits = 12;
    Device d(config);
    ASSERT_EQ(
        StatusOf(Ask(d, Request::Erase, wire::ByteWriter().U32(16384).U32(c.eraseLength).Take())),
        Status::Ok);
    std::vector<std::uint32_t> starts;
    for (std::uint32_t at = 0; at < c.stream.size(); at += 400) starts.push_back(at);
    if (c.reversed) std::reverse(starts.begin() + 1, starts.end());
    Status last = Status::Ok;
    for (std::uint32_t at : starts) {
      const auto end = std::min<std::size_t>(at + 400, c.stream.size());
      const auto piece = std::span(c.stream).subspan(at, end - at);
      const auto reply =
          Ask(d, Request::DataDeflated, wire::ByteWriter().U32(at).Bytes(piece).Take());
      // Beyond the 1 KiB it keeps past a gap (at 400) the device takes nothing.
      if (c.reversed && at + 400 > 400 + 1024) {
        EXPECT_FALSE(reply.has_value()) << c.name << " " << at;
        continue;
      }
      ASSERT_TRUE(reply.has_value()) << c.name << " " << at;
      last = StatusOf(reply);
    }
    if (c.reversed) {  // what was dropped comes again, in order
      for (std::uint32_t at = 400; at < c.stream.size(); at += 400) {
        const auto end = std::min<std::size_t>(at + 400, c.stream.size());
        last = StatusOf(Ask(
            d, Request::DataDeflated,
            wire::ByteWriter().U32(at).Bytes(std::span(c.stream).subspan(at, end - at)).Take()));
      }
    }
    EXPECT_EQ(last, c.last) << c.name;
    const auto crc = Ask(d, Request::Verify, wire::ByteWriter().U32(16384 + 48).U32(6000).Take());
    wire::ByteReader r(crc->payload);
    r.U8();
    const bool whole = r.U32() == wire::Crc32(image);
    EXPECT_EQ(whole, c.whole) << c.name;
    if (c.eraseLength < 48 + 6000) {
      // Nothing past the erased area was touched.
      const auto after =
          Ask(d, Request::Verify, wire::ByteWriter().U32(16384 + c.eraseLength).U32(1000).Take());
      wire::ByteReader ar(after->payload);
      ar.U8();
      EXPECT_EQ(ar.U32(), wire::Crc32(std::vector<std::uint8_t>(1000, 0xFF))) << c.name;
    }
  }
}

// A client that skips the library's check, talking straight to a boot
// loader that checks signatures: nothing unsigned is erased or activated,
// and on every refusal the old image still starts.
TEST(EmulatedDevice, SignatureCheckingBootLoaderRefusesAndKeepsTheOldImage) {
  const std::uint32_t base = 16384;
  const std::vector<std::uint8_t> payload(2000, 0x5A), other(2000, 0xA5);
  auto file = [](const std::vector<std::uint8_t>& p, const wire::KeyPair& key,
                 std::uint8_t code = 0) {
    return wire::BuildSignedFirmwareFile(code, code == 0 ? "HLX700" : "TQ640", "8.0.0", p, key)
        .value();
  };
  const auto good = file(payload, testkeys::Development());
  const auto head = [](const std::vector<std::uint8_t>& f) {
    return std::vector<std::uint8_t>(f.begin(), f.begin() + wire::kSignedHeaderSize);
  };
  auto tampered = head(good);
  tampered[30] ^= 1;
  const auto erase =
      wire::ByteWriter().U32(base).U32(static_cast<std::uint32_t>(good.size())).Take();
  auto data = [&](const std::vector<std::uint8_t>& p) {
    return wire::ByteWriter().U32(base + wire::kSignedHeaderSize).Bytes(p).Take();
  };
  const auto stranger = wire::Ed25519Generate().value();

  struct Step {
    Request request;
    std::vector<std::uint8_t> payload;
    Status expected;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"erase without a manifest", {{Request::Erase, erase, Status::NotSigned}}},
      {"a stranger's manifest",
       {{Request::Manifest, head(file(payload, stranger)), Status::NotSigned},
        {Request::Erase, erase, Status::NotSigned}}},
      {"a revoked key's manifest",
       {{Request::Manifest, head(file(payload, testkeys::DevelopmentRevoked())), Status::NotSigned},
        {Request::Erase, erase, Status::NotSigned}}},
      {"a tampered manifest",
       {{Request::Manifest, tampered, Status::NotSigned},
        {Request::Erase, erase, Status::NotSigned}}},
      {"another family's manifest",
       {{Request::Manifest, head(file(payload, testkeys::Development(), 1)), Status::BadImage},
        {Request::Erase, erase, Status::NotSigned}}},
      {"a good manifest, then a bad one",
       {{Request::Manifest, head(good), Status::Ok},
        {Request::Manifest, tampered, Status::NotSigned},
        {Request::Erase, erase, Status::NotSigned}}},
      {"a good manifest with another image",
       {{Request::Manifest, head(good), Status::Ok},
        {Request::Erase, erase, Status::Ok},
        {Request::Data, data(other), Status::Ok},
        {Request::Activate, head(good), Status::BadImage}}},
      {"another header at activation",
       {{Request::Manifest, head(good), Status::Ok},
        {Request::Erase, erase, Status::Ok},
        {Request::Data, data(payload), Status::Ok},
        {Request::Activate, head(file(payload, stranger)), Status::BadImage}}},
  };
  DeviceConfig config = BootLoaderConfig();
  config.checkSignatures = true;
  config.initialState = PowerState::Application;
  for (const auto& c : cases) {
    Device d(config);
    const auto old = d.CurrentImage();
    d.PressReset(Clock::now());
    for (const Step& step : c.steps) {
      EXPECT_EQ(StatusOf(Ask(d, step.request, step.payload)), step.expected)
          << c.name << ", request " << static_cast<int>(step.request);
    }
    EXPECT_EQ(StatusOf(Ask(d, Request::Restart, {})), Status::Ok) << c.name;
    EXPECT_EQ(d.state(), PowerState::Application) << c.name;
    EXPECT_EQ(d.CurrentImage(), old) << c.name;
    EXPECT_FALSE(d.TakeActivatedImage().has_value()) << c.name;
  }
  // The whole road with a signed image: the new one runs, byte for byte.
  Device d(config);
  d.PressReset(Clock::now());
  for (const Step& step : std::vector<Step>{{Request::Manifest, head(good), Status::Ok},
                                            {Request::Erase, erase, Status::Ok},
                                            {Request::Data, data(payload), Status::Ok},
                                            {Request::Activate, head(good), Status::Ok},
                                            {Request::Activate, head(good), Status::Ok},
                                            {Request::Restart, {}, Status::Ok}}) {
    EXPECT_EQ(StatusOf(Ask(d, step.request, step.payload)), step.expected);
  }
  EXPECT_EQ(d.CurrentImage(), good);
  EXPECT_EQ(d.state(), PowerState::Application);
}

TEST(EmulatedDevice, SilentDeviceListensOnlyInTheWindowAfterReset) {
  DeviceConfig c = BootLoaderConfig();
  c.initialState = PowerState::Silent;
  c.catchWindow = std::chrono::milliseconds(100);
  Device d(c);
  EXPECT_FALSE(Ask(d, Request::Hello, {wire::kProtocolVersion}).has_value());
  const auto t0 = Clock::now();
  d.PressReset(t0);
  EXPECT_EQ(d.state(), PowerState::Listening);
  d.Tick(t0 + std::chrono::milliseconds(150));
  EXPECT_EQ(d.state(), PowerState::Silent);
  d.PressReset(Clock::now());
  EXPECT_EQ(StatusOf(Ask(d, Request::Catch, {})), Status::Ok);
  EXPECT_EQ(d.state(), PowerState::BootLoader);
}

TEST(EmulatedDevice, RefusesEveryPayloadThatDoesNotFitItsLayout) {
  Device d(BootLoaderConfig());
  struct Case {
    Request request;
    std::vector<std::uint8_t> payload;
    Status expected;
  };
  const std::vector<Case> cases = {
      {Request::Hello, {}, Status::BadRequest},
      {Request::Hello, {0x01, 0x00}, Status::BadRequest},
      {Request::Query, {0x03}, Status::BadRequest},
      {Request::Catch, {0x00}, Status::BadRequest},
      {Request::Erase, {0x00, 0x40, 0x00, 0x00, 0x00, 0x10, 0x00}, Status::BadRequest},
      {Request::Data, {0x30, 0x40, 0x00, 0x00}, Status::BadRequest},
      {Request::DataDeflated, {0x00, 0x00, 0x00}, Status::BadRequest},
      {Request::Verify, std::vector<std::uint8_t>(9, 0), Status::BadRequest},
      {Request::SetRate, {0x00, 0x10, 0x0E, 0x00, 0x96}, Status::BadRequest},
      {Request::Restart, {0x00}, Status::BadRequest},
      {Request::Manifest, std::vector<std::uint8_t>(143, 0), Status::BadImage},
      {Request::Activate, std::vector<std::uint8_t>(47, 0), Status::BadImage},
  };
  for (const Case& c : cases) {
    const auto reply = Ask(d, c.request, c.payload);
    ASSERT_TRUE(reply.has_value()) << static_cast<int>(c.request);
    EXPECT_EQ(StatusOf(reply), c.expected)
        << static_cast<int>(c.request) << ", " << c.payload.size() << " bytes";
  }
  // None of them was taken: no restart, no switch of the line.
  EXPECT_EQ(d.state(), PowerState::BootLoader);
}

TEST(FaultSpecs, ParseRatesPercentagesAndRejectNonsense) {
  emulator::FaultPlan plan;
  EXPECT_TRUE(emulator::AddFault("flip:1%", plan));
  EXPECT_DOUBLE_EQ(plan.flip, 0.01);
  EXPECT_TRUE(emulator::AddFault("drop:0.002", plan));
  EXPECT_DOUBLE_EQ(plan.drop, 0.002);
  EXPECT_TRUE(emulator::AddFault("stall:40:1500", plan));
  EXPECT_EQ(plan.stallAt, 40);
  EXPECT_EQ(plan.stallMs, 1500);
  EXPECT_TRUE(emulator::AddFault("power-loss:50", plan));
  EXPECT_TRUE(emulator::AddFault("wrong-family", plan));
  EXPECT_TRUE(plan.wrongFamily);
  for (const char* bad :
       {"flip", "flip:2", "flip:x", "disconnect:101", "stall:", "melt:5", "verify-error:3"}) {
    const auto added = emulator::AddFault(bad, plan);
    ASSERT_FALSE(added) << bad;
    EXPECT_TRUE(added.error().Describe().starts_with("bad --fault " + std::string(bad) + ": "))
        << added.error().Describe();
  }
}

}  // namespace
