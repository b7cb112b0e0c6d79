// Format 3 files against the checking boot loader, driven as the library
// drives it: a delta section for the running base, for another, damaged;
// the security counter below, equal to and above the stored one; REVERT
// with and without a valid previous image. Each row: the first refusal,
// what runs afterwards, the stored counter.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulator/delta_applier.h"
#include "emulator/device.h"
#include "kestra2g/tools/code_like.h"
#include "kestra2g/tools/delta_codec.h"
#include "kestra2g/wire/firmware_file.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"
#include "support/development_keys.h"

namespace {

using emulator::Clock;
using emulator::Device;
using emulator::DeviceConfig;
using emulator::Outgoing;
using emulator::PowerState;
using wire::Request;
using wire::Status;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBase = 16 * 1024;
constexpr std::uint16_t kMaxData = 1024;

Bytes Ask(Device& d, Request r, const Bytes& payload) {
  std::vector<Outgoing> out;
  d.Handle({static_cast<std::uint8_t>(r), 1, payload}, Clock::now(), out);
  if (out.empty()) return {};
  wire::FrameDecoder dec;
  dec.Feed(out.front().bytes);
  return dec.Next()->payload;
}

// Two builds of one program: the second changes a few functions and grows.
const Bytes kV1 = sample::CodeLikeBytes(48 * 1024, 7);
const Bytes kV2 = [] {
  Bytes b = kV1;
  for (std::size_t at : {1000U, 20000U, 40000U}) {
    for (std::size_t i = 0; i < 300; ++i) b[at + i] = static_cast<std::uint8_t>(b[at + i] * 3 + 1);
  }
  const Bytes more = sample::CodeLikeBytes(4096, 9);
  b.insert(b.begin() + 30000, more.begin(), more.end());
  return b;
}();
const Bytes kOther = sample::CodeLikeBytes(48 * 1024, 8);

Bytes File(const Bytes& payload, const char* version, std::uint32_t counter,
           const std::vector<const Bytes*>& bases) {
  std::vector<Bytes> deltas;
  for (const Bytes* base : bases) deltas.push_back(delta::Make(*base, payload).value());
  std::vector<wire::DeltaInput> inputs;
  for (std::size_t i = 0; i < bases.size(); ++i)
    inputs.push_back({wire::Sha256(*bases[i]), deltas[i]});
  return wire::BuildDeltaFirmwareFile(0, "HLX700", version, payload, counter, inputs,
                                      testkeys::Development())
      .value();
}

wire::FirmwareHeader HeaderOf(const Bytes& file) {
  wire::FirmwareHeader h;
  EXPECT_EQ(wire::ParseFirmwareHeader(file, &h), wire::FirmwareCheck::Ok);
  return h;
}

Bytes ImageOf(const Bytes& file) {
  return Bytes(file.begin(),
               file.begin() + static_cast<std::ptrdiff_t>(HeaderOf(file).imageSize()));
}

// How the host sends the file: the section for the device's base (else the
// first one), or the payload as DATA.
enum class Send { Delta, Payload };

// One download as the library runs it; the first status that is not OK.
Status Update(Device& d, const Bytes& file, Send send) {
  const wire::FirmwareHeader h = HeaderOf(file);
  const Bytes header(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(h.size()));
  d.PressReset(Clock::now());
  const auto hello = wire::DecodeHello(Ask(d, Request::Hello, wire::EncodeHelloRequest({})));
  if (!hello || !hello->ReportsRunningImage()) return Status::BadRequest;
  auto status = [](const Bytes& answer) { return wire::ReplyStatus(answer); };
  if (const auto s = status(Ask(d, Request::Manifest, header)); s != Status::Ok) return s;
  const auto erase = wire::EncodeRange({kBase, static_cast<std::uint32_t>(h.imageSize())});
  if (const auto s = status(Ask(d, Request::Erase, erase)); s != Status::Ok) return s;
  const wire::DeltaSection* section = h.DeltaFor(hello->runningSha256);
  if (section == nullptr && !h.deltas.empty()) section = &h.deltas.front();
  const auto bytes =
      send == Send::Delta ? wire::DeltaBytesOf(file, *section) : wire::PayloadOf(file, h);
  for (std::size_t at = 0; at < bytes.size(); at += kMaxData) {
    const auto piece = bytes.subspan(at, std::min<std::size_t>(kMaxData, bytes.size() - at));
    const Request r = send == Send::Delta ? Request::DataDelta : Request::Data;
    const auto offset =
        static_cast<std::uint32_t>(send == Send::Delta ? at : kBase + h.size() + at);
    if (const auto s = status(Ask(d, r, wire::EncodeData({offset, piece}))); s != Status::Ok) {
      return s;
    }
  }
  if (const auto s = status(Ask(d, Request::Activate, header)); s != Status::Ok) return s;
  return status(Ask(d, Request::Restart, wire::EncodeEmpty()));
}

Status Revert(Device& d, wire::RevertAction action, Bytes* header) {
  d.PressReset(Clock::now());
  const Bytes answer = Ask(d, Request::Revert, wire::EncodeRevert({action}));
  if (const auto a = wire::DecodeRevertAnswer(answer)) *header = a->header;
  return wire::ReplyStatus(answer);
}

TEST(DeltaUpdate, SectionsCountersAndRevertAgainstTheCheckingBootLoader) {
  const Bytes v1 = File(kV1, "1.0.0", 1, {});
  const Bytes v2 = File(kV2, "2.0.0", 1, {&kOther, &kV1});
  const Bytes v2Above = File(kV2, "2.0.0", 4, {&kV1});
  const Bytes v2Below = File(kV2, "2.0.0", 0, {&kV1});
  const Bytes v2OtherBase = File(kV2, "2.0.0", 1, {&kOther});
  Bytes v2Damaged = v2;
  v2Damaged[HeaderOf(v2).DeltaFor(wire::Sha256(kV1))->offset + 100] ^= 0x20;

  struct Step {
    enum Kind { Update, Tell, Revert } kind;
    const Bytes* file;
    Send send;
    Status expected;
  };
  const struct {
    const char* name;
    std::uint32_t storedCounter;
    std::vector<Step> steps;
    const Bytes* runs;  // whose image runs at the end
    std::uint32_t counter;
  } cases[] = {
      {"delta for the running base, counter equal",
       1,
       {{Step::Update, &v2, Send::Delta, Status::Ok}},
       &v2,
       1},
      {"delta from another base",
       1,
       {{Step::Update, &v2OtherBase, Send::Delta, wire::kNoDeltaForBase}},
       &v1,
       1},
      {"damaged delta bytes",
       1,
       {{Step::Update, &v2Damaged, Send::Delta, wire::kDeltaMismatch}},
       &v1,
       1},
      {"counter below the stored one",
       1,
       {{Step::Update, &v2Below, Send::Payload, wire::kCounterBelow}},
       &v1,
       1},
      {"counter above: raised",
       1,
       {{Step::Update, &v2Above, Send::Delta, Status::Ok}},
       &v2Above,
       4},
      {"the whole payload, counter equal",
       1,
       {{Step::Update, &v2, Send::Payload, Status::Ok}},
       &v2,
       1},
      {"revert to the previous image",
       1,
       {{Step::Update, &v2, Send::Delta, Status::Ok},
        {Step::Tell, &v1, Send::Delta, Status::Ok},
        {Step::Revert, &v1, Send::Delta, Status::Ok}},
       &v1,
       1},
      {"revert without a previous image",
       1,
       {{Step::Revert, nullptr, Send::Delta, wire::kNothingToRevert}},
       &v1,
       1},
      {"revert below the counter the update raised",
       1,
       {{Step::Update, &v2Above, Send::Delta, Status::Ok},
        {Step::Revert, nullptr, Send::Delta, wire::kNothingToRevert}},
       &v2Above,
       4},
      {"revert after a refused download erased the spare slot",
       1,
       {{Step::Update, &v2, Send::Delta, Status::Ok},
        {Step::Update, &v2OtherBase, Send::Delta, wire::kNoDeltaForBase},
        {Step::Revert, nullptr, Send::Delta, wire::kNothingToRevert}},
       &v2,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceConfig config;
    config.initialState = PowerState::Application;
    config.flashSize = 256 * 1024;
    config.maxData = kMaxData;
    config.eraseTime = {};
    config.initialImage = ImageOf(v1);
    config.securityCounter = c.storedCounter;
    Device d(config);
    for (const Step& step : c.steps) {
      Bytes header;
      Status s{};
      if (step.kind == Step::Update) {
        s = Update(d, *step.file, step.send);
        // A refusal leaves the old image to start.
        if (s != Status::Ok) Ask(d, Request::Restart, wire::EncodeEmpty());
      } else {
        s = Revert(d,
                   step.kind == Step::Tell ? wire::RevertAction::Tell : wire::RevertAction::Revert,
                   &header);
        if (s == Status::Ok) {
          const std::size_t size = HeaderOf(*step.file).size();
          EXPECT_EQ(header, Bytes(step.file->begin(),
                                  step.file->begin() + static_cast<std::ptrdiff_t>(size)));
        }
        Ask(d, Request::Restart, wire::EncodeEmpty());
      }
      EXPECT_EQ(wire::StatusText(s), std::string(wire::StatusText(step.expected)));
    }
    EXPECT_EQ(d.state(), PowerState::Application);
    EXPECT_EQ(d.CurrentImage(), ImageOf(*c.runs)) << "byte for byte";
    EXPECT_EQ(d.securityCounter(), c.counter);
  }
}

// The applier's memory does not grow with the image: zstd's state and one
// input block, whatever the slots hold.
TEST(DeltaUpdate, ApplierMemoryStaysBoundedForLargeImages) {
  std::size_t used[2] = {};
  for (int i = 0; i < 2; ++i) {
    const std::size_t size = std::size_t{512} << (10 + 2 * i);  // 512 KiB, 8 MiB
    const Bytes base = sample::CodeLikeBytes(size, 1);
    Bytes target = base;
    // Changes all over, so that the section spans many frames and blocks.
    for (std::size_t at = 0; at < size; at += 1024)
      target[at] ^= static_cast<std::uint8_t>(at >> 10);
    const Bytes section = delta::Make(base, target).value();
    Bytes out(target.size());
    emulator::DeltaApplier applier(wire::DeltaWindowLog(size), 8 * kMaxData);
    applier.Restart(
        base, out,
        {static_cast<std::uint32_t>(section.size()), wire::Sha256(section), wire::Sha256(target)});
    for (std::size_t at = 0; at < section.size(); at += kMaxData) {
      const auto piece =
          std::span(section).subspan(at, std::min<std::size_t>(kMaxData, section.size() - at));
      ASSERT_NE(applier.Take(static_cast<std::uint32_t>(at), piece),
                emulator::DeltaApplier::Result::Failed);
    }
    EXPECT_TRUE(applier.verified());
    EXPECT_EQ(out, target);
    used[i] = applier.MemoryUse();
  }
  std::printf("delta applier: %zu bytes for a 512 KiB image, %zu for 8 MiB\n", used[0], used[1]);
  EXPECT_EQ(used[0], used[1]);
  EXPECT_LT(used[1], std::size_t{300} << 10);
}

}  // namespace
