#pragma once
// One conversation with the device over an open serial port: frames out,
// frames in, and request/reply exchanges with time-outs and bounded resends.
// Send, Receive, Await and Exchange only tell whether something came: a
// missing answer is for the caller to weigh (ask again, another rate), and
// FailExchange says why when the caller gives up.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "kestra2g/failure.h"
#include "kestra2g/round_trip.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"
#include "platform/serial_port.h"

namespace kestra2g {

// A unit test may build the link and the transfer over a clock of its own
// (KESTRA2G_CLOCK), one that only its scripted line moves.
#ifdef KESTRA2G_CLOCK
using Clock = KESTRA2G_CLOCK;
#else
using Clock = std::chrono::steady_clock;
#endif

// How long to wait for an answer, and how often to ask. Every request sent
// through Exchange may be repeated without harm: an answer to any attempt
// will do (a slow device answering the first is as good as one answering the
// last).
struct Attempts {
  // What the device itself may take for the request (an erase, a check
  // sum), on top of the line's round trip.
  std::chrono::milliseconds work;
  // The first wait and each one doubled after it make up the patience.
  int count;
  // The wait per attempt when the caller fixed it (a query's mode), in
  // place of the line's round trip; it does not double.
  std::chrono::milliseconds fixedWait{0};
};

class Link {
 public:
  // `portNumber`: the n of COMn, when the link was opened by number.
  explicit Link(std::unique_ptr<platform::SerialPort> port, int portNumber = -1);
  // Hands its last sequence number on to the next link (see link.cpp).
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens COMn, or why it cannot be had.
  [[nodiscard]] static Result<std::unique_ptr<Link>> Open(int port);

  // Sends one request; returns its sequence number, or nothing when the line failed.
  std::optional<std::uint8_t> Send(wire::Request r, std::span<const std::uint8_t> payload);

  // The next valid frame that arrives before the deadline. Nothing on time-out
  // or when the line is gone (then lost() is true).
  std::optional<wire::Frame> Receive(Clock::time_point deadline);

  // Sends the request and waits for its reply (same type, the sequence
  // number of any attempt), resending while the patience `attempts` gives
  // lasts. The reply payload, or nothing; its round trip is measured.
  // `behind` runs once, right after the first attempt is sent.
  std::optional<std::vector<std::uint8_t>> Exchange(wire::Request r,
                                                    std::span<const std::uint8_t> payload,
                                                    Attempts attempts,
                                                    const std::function<void()>& behind = {});
  // Waits until `deadline` for the reply to the request of type `r` sent as
  // `seq`, passing over other frames. Its payload, or nothing.
  std::optional<std::vector<std::uint8_t>> Await(wire::Request r, std::uint8_t seq,
                                                 Clock::time_point deadline);
  // As Await, for the reply to any of the copies sent as `seqs`; its frame
  // tells which.
  std::optional<wire::Frame> AwaitAny(wire::Request r, std::span<const std::uint8_t> seqs,
                                      Clock::time_point deadline);
  // The answer to `seq`, which the device gives at once, has just arrived:
  // one more sample of the round trip.
  void SampleAnswer(std::uint8_t seq);
  // As Exchange, and the reply's status is OK; otherwise why not. `what`
  // names the request.
  [[nodiscard]] Result<std::vector<std::uint8_t>> ExchangeOk(wire::Request r,
                                                             std::span<const std::uint8_t> payload,
                                                             Attempts attempts, const char* what);

  // The reply of an exchange when there is one and its status is OK;
  // otherwise why not. `what` names the request.
  [[nodiscard]] Result<std::vector<std::uint8_t>> Checked(
      std::optional<std::vector<std::uint8_t>> reply, const char* what) const;
  // For a request whose whole answer is its status: the reply came and is
  // OK alone; otherwise why not.
  [[nodiscard]] Result<> Acknowledged(std::optional<std::vector<std::uint8_t>> reply,
                                      const char* what) const;
  [[nodiscard]] Result<> ExchangeAck(wire::Request r, std::span<const std::uint8_t> payload,
                                     Attempts attempts, const char* what) {
    return Acknowledged(Exchange(r, payload, attempts), what);
  }

  // Asks the device who it is (HELLO); why not when no answer or a damaged
  // one came. `behind` may send a request right behind the first HELLO,
  // before its answer is awaited.
  [[nodiscard]] Result<wire::HelloInfo> Hello(const std::function<void()>& behind = {});

  bool lost() const { return lost_; }
  int portNumber() const { return portNumber_; }

  // The round trip measured so far, and the first wait for an answer to a
  // request of `requestBytes` payload bytes that `attempts` describes.
  const RoundTrip& roundTrip() const { return roundTrip_; }
  std::chrono::microseconds ReplyWait(const Attempts& attempts, std::size_t requestBytes) const;
  // A wait at a raised rate stays below the device's idle time there.
  std::chrono::microseconds Capped(std::chrono::microseconds wait) const;
  // Lets time pass until `until`, passing over what arrives meanwhile.
  void Pause(Clock::time_point until);

  // The line rate both ends run at now, and what the port can run.
  std::uint32_t rate() const { return rate_; }
  bool Allows(std::uint32_t rate) const { return port_->Allows(static_cast<int>(rate)); }
  // Switches our end once what was sent has left; what arrived at the old
  // rate is dropped. False when the port refused.
  bool SetRate(std::uint32_t rate);
  // Line time of `bytes` bytes at the current rate (8N1: ten bits a byte).
  std::chrono::nanoseconds LineTime(std::size_t bytes) const {
    return std::chrono::nanoseconds(static_cast<long long>(bytes) * 10'000'000'000LL / rate_);
  }

  // Why the last exchange or receive brought nothing, for `return
  // link.FailExchange(...)`: a dropped line, damaged frames or a plain
  // time-out. `what` names the request.
  [[nodiscard]] Unexpected FailExchange(const char* what) const;

 private:
  std::unique_ptr<platform::SerialPort> port_;
  wire::FrameDecoder decoder_;
  std::uint8_t seq_ = 0;
  std::array<Clock::time_point, 256> sentAt_{};  // by sequence number
  RoundTrip roundTrip_;
  bool lost_ = false;
  std::uint32_t rate_ = wire::kBaseRate;
  int portNumber_;
};

}  // namespace kestra2g
