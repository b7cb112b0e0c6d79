#pragma once
// The windowed data transfer: a byte stream goes to the device in frames
// whose size follows the line, with selective resends. The device answers
// every data frame with the next stream offset it expects (cumulative); an
// answer to a frame also tells that every frame sent before it and not yet
// answered was lost, so a resend goes out as soon as the next answer is in.
// Only when nothing more answers does a short timer, learnt from the line's
// round trips, stand in.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>

#include "kestra2g/frame_sizer.h"
#include "kestra2g/link.h"

namespace kestra2g {

struct TransferLimits {
  std::size_t maxBlock;     // largest data block the device takes
  std::size_t windowBytes;  // bytes the device keeps beyond the first it still lacks
};

class Transfer {
 public:
  // `report(acked, extra)`: the device confirmed the stream up to `acked`;
  // `extra` is the number after the offset in its answer, if any.
  using Report = std::function<void(std::size_t acked, std::optional<std::uint32_t> extra)>;

  Transfer(Link& link, wire::Request request, std::span<const std::uint8_t> data,
           std::uint32_t firstOffset, TransferLimits limits, Report report);

  // A request sent just before the data (the erase), so that the data need
  // not wait for its answer: that answer is taken as it comes, a refusal
  // ends the transfer, and an OK answer, or data answered OK, calls
  // `confirmed`. Until then the data's own timers wait and `patience` stands
  // in. Data answered "not erased" first, or `patience` passing in silence,
  // means the device never heard it: Run then fails with
  // Cause::OpeningUnheard, for the caller to ask again and wait.
  void OpenedBy(wire::Request request, std::uint8_t seq, const char* what,
                std::chrono::microseconds patience, std::function<void()> confirmed);

  // Requests sent, in the order given, as soon as every byte has gone out
  // (the check sum, the activation), and again after any resend, so that
  // their answers need not wait for the last round trip of the data. An OK
  // answer to one that `proves` means the device checked every byte itself:
  // the transfer ends there, whatever data answers are still out (what the
  // device answers after it is the device having moved on).
  void ClosedBy(wire::Request request, std::vector<std::uint8_t> payload, bool proves = false);
  // The answers to the closing's requests, in ClosedBy's order, of the
  // round a proof came in, else of the first round answered. The closing is
  // awaited as one request with `attempts` (a round sent again after each
  // wait, an answer to any will do); once a round's first answer is in, the
  // rest are due within a command's wait (answers come in order: one that
  // did not come by then, or before a later one, was lost). None for a
  // request unanswered.
  std::vector<std::optional<std::vector<std::uint8_t>>> ClosingAnswers(const Attempts& attempts);

  // Sends every byte and waits until the device has confirmed all, or until
  // it may have taken the closing (see Answer): the closing's answers tell.
  [[nodiscard]] Result<> Run();

 private:
  struct InFlight {
    std::uint8_t seq;
    std::size_t begin, end;
    Clock::time_point lineEnd;   // when its last byte should have left the line
    bool beforeClosing = false;  // sent before the closing request
    // Sent behind the opening, whose answer it waited for: its answer's
    // time says nothing of the line's round trip.
    bool behindOpening = false;
  };
  [[nodiscard]] Result<> SendMore();
  [[nodiscard]] Result<> Answer(const wire::Frame& frame);
  void Requeue(const InFlight& f);
  // The answer to `f` has come: one more sample of the data's round trip.
  void SampleRoundTrip(const InFlight& f);
  void PopFront();
  // The oldest frame in flight went astray: counted lost, its range sent again.
  void LoseFront();
  void Forget(std::size_t begin, std::size_t end);
  Clock::time_point Due(const InFlight& f) const;
  // The wait for an answer past the line time, before doubling.
  std::chrono::microseconds Base() const;
  std::chrono::microseconds Allowance() const;
  std::size_t InFlightLimit() const;
  void ConfirmOpening();
  [[nodiscard]] Result<> OpeningAnswer(const wire::Frame& frame);
  [[nodiscard]] bool SendClosing();
  // Keeps `frame` when it answers a closing request of a round sent: that
  // round, in rounds_. A proof among them sets provedBy_.
  std::optional<std::size_t> TakeClosingAnswer(const wire::Frame& frame);

  Link& link_;
  wire::Request request_;
  std::span<const std::uint8_t> data_;
  std::uint32_t first_;  // device offset of data_[0]
  TransferLimits limits_;
  Report report_;
  FrameSizer sizer_;

  std::map<std::size_t, std::size_t> todo_;  // begin -> end, still to send
  std::deque<InFlight> inFlight_;            // in the order sent
  std::size_t inFlightBytes_ = 0;
  std::size_t inFlightLimit_ = 0;  // until round trips are measured
  struct Sent {
    std::size_t begin = 0, end = 0;
  };
  std::array<Sent, 256> bySeq_{};  // what each sequence number carried last
  std::size_t acked_ = 0;          // confirmed in order by the device
  std::size_t sentBytes_ = 0;
  Clock::time_point lineFree_{};  // when the line will have sent all we wrote
  // Round trip past the line time, smoothed, and its spread.
  std::optional<std::chrono::microseconds> rtt_;
  std::chrono::microseconds rttSpread_{0};
  int timeoutsInARow_ = 0;
  Clock::time_point lastAnswer_{};

  struct Opening {
    wire::Request request;
    std::uint8_t seq;
    const char* what;
    Clock::time_point due;
    std::function<void()> confirmed;
  };
  std::optional<Opening> opening_;  // while its answer is awaited
  struct Closing {
    wire::Request request;
    std::vector<std::uint8_t> payload;
    bool proves;
  };
  std::vector<Closing> closing_;
  // Each sending of the closing, the latest last; older ones are kept, since
  // a proof may still come from one of them.
  struct Round {
    std::vector<std::uint8_t> seqs;  // one per closing request
    std::vector<std::optional<std::vector<std::uint8_t>>> answers;
  };
  std::deque<Round> rounds_;
  bool roundCurrent_ = false;            // the latest round went out after the last data frame
  std::optional<std::size_t> provedBy_;  // the round whose proof came, in rounds_
  // A data answer after a closing went out showed the download over at the
  // device: the closing may have been taken, its answer lost.
  bool overAtDevice_ = false;
};

}  // namespace kestra2g
