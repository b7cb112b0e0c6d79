// The data transfer over a scripted line that loses frames, loses or
// doubles answers and loses the tail: every byte reaches the device once and
// in order, and the transfer never sits idle longer than its time-out. The
// link and the transfer run on the test's own clock (scripted_clock.h),
// which only this line moves: a busy machine changes nothing.

#include "kestra2g/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "kestra2g/failure.h"
#include "kestra2g/timing.h"
#include "kestra2g/wire/bytes.h"

namespace {

using namespace std::chrono_literals;
using kestra2g::Clock;
using Duration = Clock::duration;
namespace timing = kestra2g::timing;
using wire::Status;

// AnswerLate: the device takes 30 ms longer than its usual turnaround.
enum class Fate { Arrives, FrameLost, AnswerLost, AnswerTwice, AnswerLate };

// One data frame as the script sees it.
struct Step {
  int index;               // data frames written before it
  std::size_t begin, end;  // the stream range it carries
  std::size_t size;        // the whole stream's
  int earlier;             // times its first byte went out before
};

// How long the scripted device takes to erase.
constexpr Duration kEraseTime = 200ms;

Duration LineTime(std::size_t bytes) {
  // 8N1 at the base rate: ten bits a byte.
  return std::chrono::nanoseconds(static_cast<long long>(bytes) * 10'000'000'000LL /
                                  wire::kBaseRate);
}

// Plays the device's side: frames reach it after their line time, it
// answers each with the next stream offset it lacks (Gap while it keeps
// bytes beyond a hole), and the script decides what the line loses.
class ScriptedLine : public platform::SerialPort {
 public:
  // `closingLost(request, n)`: whether the answer to the n-th closing
  // request of that type (from 0) is lost; none: the transfer has no closing.
  using ClosingScript = std::function<bool(wire::Request, int)>;
  ScriptedLine(std::span<const std::uint8_t> data, std::uint32_t first,
               std::function<Fate(const Step&)> script, Duration turnaround,
               ClosingScript closingLost = {})
      : data_(data),
        first_(first),
        script_(std::move(script)),
        closingLost_(std::move(closingLost)),
        turnaround_(turnaround),
        got_(data.size()),
        have_(data.size(), false),
        sends_(data.size(), 0) {}

  bool Write(std::span<const std::uint8_t> bytes) override {
    const Clock::time_point now = Clock::now();
    NoteIdleWait(now);
    decoder_.Feed(bytes);
    lineFree_ = std::max(lineFree_, now) + LineTime(bytes.size());
    while (auto frame = decoder_.Next()) Receive(*frame, lineFree_);
    return true;
  }

  bool Allows(int baud) const override { return baud == static_cast<int>(wire::kBaseRate); }
  bool SetRate(int baud) override { return Allows(baud); }

  int Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
    if (Clock::now() - start_ > 600s) return -1;  // a transfer that never ends
    if (answers_.empty() ||
        answers_.front().first > Clock::now() + std::chrono::milliseconds(timeoutMs)) {
      transfer_test::ScriptedClock::Advance(std::chrono::milliseconds(timeoutMs));
      return 0;
    }
    if (answers_.front().first > Clock::now()) {
      transfer_test::ScriptedClock::Advance(answers_.front().first - Clock::now());
    }
    std::size_t n = 0;
    while (!answers_.empty() && answers_.front().first <= Clock::now() &&
           n + answers_.front().second.size() <= buffer.size()) {
      const auto& bytes = answers_.front().second;
      std::copy(bytes.begin(), bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
      n += bytes.size();
      heard_ = answers_.front().first;
      answers_.pop_front();
      heardAny_ = true;
      timeoutsInARow_ = 0;
    }
    return static_cast<int>(n);
  }

  // What the device holds in order from the stream's start.
  std::size_t next() const { return next_; }
  bool HoldsTheData() const {
    return next_ == data_.size() && std::equal(got_.begin(), got_.end(), data_.begin());
  }
  std::size_t duplicateBytes() const { return duplicates_; }
  std::size_t unansweredBytes() const { return unanswered_; }
  int activations() const { return activations_; }
  const std::vector<std::string>& complaints() const { return complaints_; }

 private:
  // The transfer writes after a quiet line only when its timer ran out; the
  // wait must not exceed the time-out it has learnt. Until an answer shows
  // the round trip that is its first guess; after, this line's round trip
  // (an answer's line time and the device's turnaround) is below the least
  // it allows, or the turnaround and a margin over it. Each time-out in a
  // row doubles it. A millisecond for the link's rounding.
  void NoteIdleWait(Clock::time_point now) {
    const Clock::time_point quietSince = std::max(lineFree_, heard_);
    if (now <= quietSince) return;
    const Duration first = heardAny_ ? Duration(timing::kMinAckSlack) : Duration(timing::kAckSlack);
    const Duration base = std::max<Duration>(first, turnaround_ + timing::kRoundTripMargin + 2ms);
    const Duration allowed =
        std::min<Duration>(base * (1 << std::min(timeoutsInARow_, 5)), timing::kMaxAckWait) + 1ms;
    if (now - quietSince > allowed) {
      complaints_.push_back("idle " + std::to_string((now - quietSince) / 1us) + " us, time-out " +
                            std::to_string(allowed / 1us) + " us, before frame " +
                            std::to_string(dataFrames_));
    }
    ++timeoutsInARow_;
  }

  void Answer(const wire::Frame& request, std::vector<std::uint8_t> payload, Clock::time_point at,
              Duration late, int copies = 1) {
    const auto answer = wire::EncodeFrame(wire::ReplyType(static_cast<wire::Request>(request.type)),
                                          request.seq, payload);
    for (; copies > 0; --copies) {
      answerLineFree_ = std::max(answerLineFree_, at + late) + LineTime(answer.size());
      answers_.emplace_back(answerLineFree_, answer);
    }
  }

  // VERIFY: the count of bytes held in order stands for the check sum.
  // ACTIVATE: OK over the whole stream, which the device then leaves: data
  // after it is answered "not erased".
  void Close(const wire::Frame& frame, Clock::time_point at) {
    const auto request = static_cast<wire::Request>(frame.type);
    const int nth = request == wire::Request::Verify ? verifies_++ : activations_++;
    Status s = Status::Ok;
    if (request == wire::Request::Activate) {
      s = next_ == data_.size() ? Status::Ok : Status::BadImage;
      activated_ = activated_ || s == Status::Ok;
    }
    if (closingLost_(request, nth)) return;
    auto w = wire::ByteWriter().U8(static_cast<std::uint8_t>(s));
    if (request == wire::Request::Verify) w.U32(static_cast<std::uint32_t>(next_));
    Answer(frame, w.Take(), at, turnaround_);
  }

  void Receive(const wire::Frame& frame, Clock::time_point at) {
    if (frame.type == static_cast<std::uint8_t>(wire::Request::Erase)) {
      // Data behind it is answered after it: answers leave in order.
      return Answer(frame, {static_cast<std::uint8_t>(Status::Ok)}, at, kEraseTime + turnaround_);
    }
    if (frame.type == static_cast<std::uint8_t>(wire::Request::Hello)) {
      return Answer(frame, {static_cast<std::uint8_t>(Status::Ok)}, at, turnaround_);
    }
    if (closingLost_ && (frame.type == static_cast<std::uint8_t>(wire::Request::Verify) ||
                         frame.type == static_cast<std::uint8_t>(wire::Request::Activate))) {
      return Close(frame, at);
    }
    if (frame.type != static_cast<std::uint8_t>(wire::Request::Data)) {
      complaints_.push_back("a request of type " + std::to_string(frame.type));
      return;
    }
    wire::ByteReader r(frame.payload);
    const std::uint32_t offset = r.U32();
    const auto bytes = r.Rest();
    if (!r.ok() || offset < first_ || offset - first_ + bytes.size() > data_.size() ||
        bytes.empty()) {
      complaints_.push_back("a frame outside the stream at " + std::to_string(offset));
      return;
    }
    const std::size_t begin = offset - first_;
    if (activated_) {
      const Status gone = Status::NotErased;
      return Answer(frame,
                    wire::ByteWriter().U8(static_cast<std::uint8_t>(gone)).U32(first_).Take(), at,
                    turnaround_);
    }
    const Step step{dataFrames_++, begin, begin + bytes.size(), data_.size(), sends_[begin]};
    for (std::size_t i = begin; i < step.end; ++i) ++sends_[i];
    const Fate fate = script_(step);
    if (fate == Fate::AnswerLost) unanswered_ += bytes.size();
    if (fate == Fate::FrameLost) return;

    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (have_[begin + i]) {
        ++duplicates_;
        if (got_[begin + i] != bytes[i]) complaints_.push_back("a byte changed on resending");
      }
      have_[begin + i] = true;
      got_[begin + i] = bytes[i];
    }
    while (next_ < have_.size() && have_[next_]) ++next_;
    const bool gap = std::find(have_.begin() + static_cast<std::ptrdiff_t>(next_), have_.end(),
                               true) != have_.end();
    if (fate == Fate::AnswerLost) return;
    Answer(frame,
           wire::ByteWriter()
               .U8(static_cast<std::uint8_t>(gap ? wire::Status::Gap : wire::Status::Ok))
               .U32(first_ + static_cast<std::uint32_t>(next_))
               .Take(),
           at, turnaround_ + (fate == Fate::AnswerLate ? 30ms : 0ms),
           fate == Fate::AnswerTwice ? 2 : 1);
  }

  std::span<const std::uint8_t> data_;
  std::uint32_t first_;
  std::function<Fate(const Step&)> script_;
  ClosingScript closingLost_;
  Duration turnaround_;
  Clock::time_point start_ = Clock::now();
  wire::FrameDecoder decoder_;
  Clock::time_point lineFree_ = start_, answerLineFree_ = start_, heard_ = start_;
  std::deque<std::pair<Clock::time_point, std::vector<std::uint8_t>>> answers_;
  bool heardAny_ = false;
  int timeoutsInARow_ = 0;
  int dataFrames_ = 0;
  std::vector<std::uint8_t> got_;
  std::vector<bool> have_;
  std::vector<int> sends_;
  std::size_t next_ = 0, duplicates_ = 0, unanswered_ = 0;
  int verifies_ = 0, activations_ = 0;
  bool activated_ = false;
  std::vector<std::string> complaints_;
};

struct Case {
  const char* name;
  std::size_t size;
  std::function<Fate(const Step&)> script;
  Duration turnaround{0};
  bool behindErase = false;  // the data goes right behind the ERASE that opens it
};

bool Last(const Step& s) { return s.end == s.size; }

// A fixed pseudo-random draw per frame, so that a case loses the same
// frames on every run.
unsigned Draw(const Step& s) { return (static_cast<unsigned>(s.index) * 2654435761U) >> 24 & 0xFF; }

TEST(TransferTest, EveryByteArrivesOnceAndInOrderWithoutIdleWaitsPastTheTimeOut) {
  const std::vector<Case> cases = {
      {"clean line", 24000, [](const Step&) { return Fate::Arrives; }},
      {"every fifth frame lost once", 24000,
       [](const Step& s) {
         return s.index % 5 == 4 && s.earlier == 0 ? Fate::FrameLost : Fate::Arrives;
       }},
      {"every fifth frame lost, resends too", 24000,
       [](const Step& s) { return s.index % 5 == 4 ? Fate::FrameLost : Fate::Arrives; }},
      {"a burst of lost frames", 24000,
       [](const Step& s) {
         return s.index >= 6 && s.index < 14 ? Fate::FrameLost : Fate::Arrives;
       }},
      {"every fourth answer lost", 24000,
       [](const Step& s) { return s.index % 4 == 3 ? Fate::AnswerLost : Fate::Arrives; }},
      {"every third answer twice", 24000,
       [](const Step& s) { return s.index % 3 == 0 ? Fate::AnswerTwice : Fate::Arrives; }},
      {"the tail lost, and its resend", 24000,
       [](const Step& s) { return Last(s) && s.earlier < 2 ? Fate::FrameLost : Fate::Arrives; }},
      {"the last answer lost", 24000,
       [](const Step& s) { return Last(s) && s.earlier == 0 ? Fate::AnswerLost : Fate::Arrives; }},
      {"a lone frame lost before any answer", 300,
       [](const Step& s) { return s.index == 0 ? Fate::FrameLost : Fate::Arrives; }},
      // An even line leaves the round trip no spread; a slightly late answer
      // must not count as lost (nor cut the frames).
      {"a slow device, now and then a little late", 24000,
       [](const Step& s) { return s.index % 7 == 6 ? Fate::AnswerLate : Fate::Arrives; }, 100ms},
      // The first data answers wait behind the erase's: their time tells
      // nothing of the line, and must not set the timers.
      {"behind the erase, a slow device", 24000, [](const Step&) { return Fate::Arrives; }, 500ms,
       true},
      {"frames and answers lost, answers doubled", 24000,
       [](const Step& s) {
         const unsigned d = Draw(s);
         if (d < 26) return Fate::FrameLost;
         if (d < 52) return Fate::AnswerLost;
         if (d < 78) return Fate::AnswerTwice;
         return Fate::Arrives;
       }},
  };
  std::vector<std::uint8_t> data(24000);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
  constexpr std::uint32_t kFirst = 16 * 1024 + 48;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    transfer_test::ScriptedClock::elapsed = 1h;
    const std::span<const std::uint8_t> stream(data.data(), c.size);
    auto owned = std::make_unique<ScriptedLine>(stream, kFirst, c.script, c.turnaround);
    ScriptedLine& line = *owned;
    kestra2g::Link link(std::move(owned));
    std::size_t reported = 0;
    bool overclaimed = false;
    kestra2g::Transfer transfer(link, wire::Request::Data, stream, kFirst, {1024, 8192},
                                [&](std::size_t acked, std::optional<std::uint32_t>) {
                                  overclaimed =
                                      overclaimed || acked < reported || acked > line.next();
                                  reported = acked;
                                });
    if (c.behindErase) {
      // As a download: HELLO has measured the round trip.
      ASSERT_TRUE(
          link.Exchange(wire::Request::Hello, std::vector<std::uint8_t>{1}, timing::kHello));
      const auto erase = link.Send(wire::Request::Erase, wire::EncodeRange({kFirst, 24000}));
      ASSERT_TRUE(erase.has_value());
      transfer.OpenedBy(wire::Request::Erase, *erase, "erase", 5s, {});
    }
    const auto ran = transfer.Run();
    EXPECT_TRUE(ran) << kestra2g::Describe(ran.error());
    EXPECT_TRUE(line.HoldsTheData());
    EXPECT_EQ(reported, c.size);
    EXPECT_FALSE(overclaimed) << "progress went back or ahead of the device";
    // The device gets bytes again only when their answer was lost: a lost
    // frame's bytes reach it for the first time when resent.
    EXPECT_LE(line.duplicateBytes(), line.unansweredBytes());
    EXPECT_TRUE(line.complaints().empty()) << line.complaints().front();
  }
}

// The closing, VERIFY and ACTIVATE behind the last data frame: an OK
// ACTIVATE ends the transfer whatever data answers are still out (the data
// resent after it meets a device that has moved on), a refused one is sent
// again with the data, and a lost answer is reported as none.
TEST(TransferTest, TheClosingEndsTheTransferOnceTheDeviceActivated) {
  using wire::Request;
  const struct {
    const char* name;
    std::function<Fate(const Step&)> script;
    ScriptedLine::ClosingScript closingLost;
    bool verifyAnswered, activated;
    int activations;
  } cases[] = {
      {"clean line", [](const Step&) { return Fate::Arrives; }, [](Request, int) { return false; },
       true, true, 1},
      // The answer to VERIFY shows the last frame unanswered: resent, and
      // the device, activated meanwhile, refuses it.
      {"the last data answer lost",
       [](const Step& s) { return Last(s) && s.earlier == 0 ? Fate::AnswerLost : Fate::Arrives; },
       [](Request, int) { return false; }, true, true, 2},
      {"the tail lost: the first ACTIVATE refused",
       [](const Step& s) { return Last(s) && s.earlier == 0 ? Fate::FrameLost : Fate::Arrives; },
       [](Request, int) { return false; }, true, true, 2},
      {"ACTIVATE's answer lost", [](const Step&) { return Fate::Arrives; },
       [](Request r, int) { return r == Request::Activate; }, true, false, 1},
      {"VERIFY's answer lost", [](const Step&) { return Fate::Arrives; },
       [](Request r, int) { return r == Request::Verify; }, false, true, 1},
      // The resent last frame is refused by the activated device, and only
      // the closing sent again can tell that it was.
      {"the last data answer and ACTIVATE's answer lost",
       [](const Step& s) { return Last(s) && s.earlier == 0 ? Fate::AnswerLost : Fate::Arrives; },
       [](Request r, int n) { return r == Request::Activate && n == 0; }, true, true, 2},
  };
  std::vector<std::uint8_t> data(12000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  constexpr std::uint32_t kFirst = 16 * 1024 + 144;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    transfer_test::ScriptedClock::elapsed = 2h;
    auto owned = std::make_unique<ScriptedLine>(data, kFirst, c.script, 0ms, c.closingLost);
    ScriptedLine& line = *owned;
    kestra2g::Link link(std::move(owned));
    kestra2g::Transfer transfer(link, Request::Data, data, kFirst, {1024, 8192},
                                [](std::size_t, std::optional<std::uint32_t>) {});
    transfer.ClosedBy(Request::Verify, wire::EncodeRange({kFirst, 12000}));
    transfer.ClosedBy(Request::Activate, std::vector<std::uint8_t>(144, 0xA5), /*proves=*/true);
    const auto ran = transfer.Run();
    ASSERT_TRUE(ran) << kestra2g::Describe(ran.error());
    EXPECT_TRUE(line.HoldsTheData());
    const auto answers = transfer.ClosingAnswers(timing::kVerify);
    ASSERT_EQ(answers.size(), 2U);
    EXPECT_EQ(answers[0].has_value(), c.verifyAnswered);
    if (answers[0]) {
      EXPECT_EQ(wire::ReplyStatus(*answers[0]), Status::Ok);
    }
    EXPECT_EQ(answers[1].has_value() && wire::ReplyStatus(*answers[1]) == Status::Ok, c.activated);
    EXPECT_EQ(line.activations(), c.activations);
    EXPECT_TRUE(line.complaints().empty()) << line.complaints().front();
  }
}

}  // namespace
