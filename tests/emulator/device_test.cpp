// The emulated remote's rules, without a pty: what it refuses, and what a
// reset or a power loss leaves behind.

#include "emulator/device.h"

#include <gtest/gtest.h>

#include "emulator/faults.h"
#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/firmware_file.h"

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

DeviceConfig BootLoaderConfig() {
  DeviceConfig c;
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
      {100, 100, Status::Gap, 0},  {200, 100, Status::Gap, 0},   // each frame answered
      {0, 50, Status::Gap, 50},    {20, 150, Status::Ok, 300},   // straddles the next offset
      {0, 10, Status::Ok, 300},                                  // a duplicate
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

TEST(FaultSpecs, ParseRatesPercentagesAndRejectNonsense) {
  emulator::FaultPlan plan;
  std::string error;
  EXPECT_TRUE(emulator::AddFault("flip:1%", plan, &error));
  EXPECT_DOUBLE_EQ(plan.flip, 0.01);
  EXPECT_TRUE(emulator::AddFault("drop:0.002", plan, &error));
  EXPECT_DOUBLE_EQ(plan.drop, 0.002);
  EXPECT_TRUE(emulator::AddFault("stall:40:1500", plan, &error));
  EXPECT_EQ(plan.stallAt, 40);
  EXPECT_EQ(plan.stallMs, 1500);
  EXPECT_TRUE(emulator::AddFault("power-loss:50", plan, &error));
  EXPECT_TRUE(emulator::AddFault("wrong-family", plan, &error));
  EXPECT_TRUE(plan.wrongFamily);
  for (const char* bad :
       {"flip", "flip:2", "flip:x", "disconnect:101", "stall:", "melt:5", "verify-error:3"}) {
    EXPECT_FALSE(emulator::AddFault(bad, plan, &error)) << bad;
  }
}

}  // namespace
