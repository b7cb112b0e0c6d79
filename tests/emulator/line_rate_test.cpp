// The emulated line's rate model, seen by a raw client on the pty: the device
// switches only when asked, a client that does not follow hears nothing, and
// the device goes back by itself.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulator/launcher/emulator_process.h"
#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"
#include "support/file_text.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class RawClient {
 public:
  explicit RawClient(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios t{};
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
      cfmakeraw(&t);
      t.c_cflag |= CLOCAL | CREAD;
      tcsetattr(fd_, TCSANOW, &t);
    }
    SetSpeed(B115200);
  }
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void SetSpeed(speed_t speed) {
    termios t{};
    tcgetattr(fd_, &t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd_, TCSADRAIN, &t);
  }
  // Sends a request; the reply payload when a valid one came within `wait`.
  std::optional<std::vector<std::uint8_t>> Ask(wire::Request r,
                                               std::span<const std::uint8_t> payload,
                                               milliseconds wait) {
    const auto frame = wire::EncodeFrame(static_cast<std::uint8_t>(r), ++seq_, payload);
    if (write(fd_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return {};
    const auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
      while (auto f = decoder_.Next()) {
        if (f->type == wire::ReplyType(r) && f->seq == seq_) return f->payload;
      }
      pollfd p{fd_, POLLIN, 0};
      poll(&p, 1, 5);
      std::uint8_t buf[512];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) decoder_.Feed(std::span(buf, static_cast<std::size_t>(n)));
    }
    return {};
  }
  std::optional<wire::HelloInfo> Hello(milliseconds wait = milliseconds(1000)) {
    const std::uint8_t v[] = {wire::kProtocolVersion};
    const auto reply = Ask(wire::Request::Hello, v, wait);
    return reply ? wire::DecodeHello(*reply) : std::nullopt;
  }
  // Without a trial: a request from before the trial was asked for.
  std::optional<wire::Status> SetRate(std::uint32_t rate, std::optional<int> trialMs = {}) {
    const auto payload =
        trialMs ? wire::EncodeSetRate(rate, *trialMs) : wire::ByteWriter().U32(rate).Take();
    const auto reply = Ask(wire::Request::SetRate, payload, milliseconds(1000));
    return reply ? std::optional(wire::ReplyStatus(*reply)) : std::nullopt;
  }

 private:
  int fd_;
  std::uint8_t seq_ = 0;
  wire::FrameDecoder decoder_;
};

TEST(EmulatorLineRate, ClientThatDoesNotFollowTheSwitchHearsNothingAndBothEndsRecover) {
  const std::string log =
      (std::filesystem::temp_directory_path() / ("line-rate-" + std::to_string(getpid()) + ".log"))
          .string();
  std::filesystem::remove(log);
  auto started = emulator::EmulatorProcess::Start(REMOTE_EMULATOR_PATH,
                                                  {"--state", "bootloader", "--log", log});
  ASSERT_TRUE(started) << started.error().Describe();
  const auto device = std::move(*started);
  RawClient client(device->slavePath());
  ASSERT_TRUE(client.ok());

  const auto hello = client.Hello();
  ASSERT_TRUE(hello.has_value());
  EXPECT_EQ(hello->rates, (std::vector<std::uint32_t>{115200, 230400, 460800, 921600}));
  EXPECT_EQ(client.SetRate(250000), wire::Status::OutOfRange);
  // A port set without asking the device garbles both ways.
  client.SetSpeed(B460800);
  EXPECT_FALSE(client.Hello(milliseconds(100)).has_value());
  client.SetSpeed(B115200);
  ASSERT_TRUE(client.Hello().has_value());

  // Asked, but the port stays at 115200: the proving exchange fails, the
  // device goes back after its trial and the old rate works again.
  const auto asked = Clock::now();
  ASSERT_EQ(client.SetRate(921600), wire::Status::Ok);
  EXPECT_FALSE(client.Hello(milliseconds(60)).has_value());
  std::this_thread::sleep_until(asked + milliseconds(wire::kRateTrialMs + 20));
  EXPECT_TRUE(client.Hello().has_value());

  // Followed: the new rate answers, and so does the way back.
  ASSERT_EQ(client.SetRate(921600), wire::Status::Ok);
  client.SetSpeed(B921600);
  ASSERT_TRUE(client.Hello().has_value());
  std::this_thread::sleep_for(milliseconds(wire::kRateTrialMs + 20));  // proven: it stays
  EXPECT_TRUE(client.Hello().has_value());
  ASSERT_EQ(client.SetRate(115200), wire::Status::Ok);
  client.SetSpeed(B115200);
  EXPECT_TRUE(client.Hello().has_value());

  // A host on a slow line asks for a longer trial: its proof, long after
  // the least trial, is still heard at the new rate.
  ASSERT_EQ(client.SetRate(921600, 800), wire::Status::Ok);
  std::this_thread::sleep_for(milliseconds(wire::kRateTrialMs + 250));
  client.SetSpeed(B921600);
  EXPECT_TRUE(client.Hello().has_value());
  ASSERT_EQ(client.SetRate(115200), wire::Status::Ok);
  client.SetSpeed(B115200);
  EXPECT_TRUE(client.Hello().has_value());

  device->Stop();
  const std::string text = testing_support::FileText(log);
  EXPECT_NE(text.find("RATE 115200 (no valid frame in the trial)"), std::string::npos) << text;
  std::filesystem::remove(log);
}

}  // namespace
