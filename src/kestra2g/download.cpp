// Writing a firmware file into the device: every check first, then erase,
// a windowed transfer, the device's own check sum, and the image header last.

#include <algorithm>
#include <fstream>
#include <iterator>

#include "kestra2g/job_state.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/timing.h"
#include "kestra2g/wire/bytes.h"
#include "kestra2g/wire/firmware_file.h"

namespace kestra2g {
namespace {

using wire::Request;
using wire::Status;

// Share of the progress bar each stage ends at.
constexpr int kErasedPercent = 3;
constexpr int kWrittenPercent = 94;
constexpr int kVerifiedPercent = 97;
constexpr int kActivatedPercent = 99;

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const char* path) {
  if (path == nullptr || *path == '\0') return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool StatusOk(const std::optional<std::vector<std::uint8_t>>& reply) {
  return reply && wire::ReplyStatus(*reply) == Status::Ok;
}

class Transfer {
 public:
  Transfer(Link& link, std::span<const std::uint8_t> data, std::uint32_t firstOffset,
           std::size_t block, std::size_t window)
      : link_(link), data_(data), first_(firstOffset), block_(block), window_(window) {}

  // Sends every byte and waits until the device has acknowledged all.
  bool Run();

 private:
  bool SendFrom(std::size_t pos);
  std::chrono::milliseconds AckTimeout() const {
    const auto lineMicros =
        static_cast<long long>((next_ - acked_) + 16 * window_) * timing::kByteMicros;
    return timing::kAckSlack + std::chrono::milliseconds(lineMicros / 1000);
  }
  void ReportProgress() const {
    const auto span = kWrittenPercent - kErasedPercent;
    RaiseProgress(kErasedPercent +
                  static_cast<int>((static_cast<long long>(acked_) * span) /
                                   static_cast<long long>(std::max<std::size_t>(data_.size(), 1))));
  }

  Link& link_;
  std::span<const std::uint8_t> data_;
  std::uint32_t first_;  // device offset of data_[0]
  std::size_t block_, window_;
  std::size_t acked_ = 0;  // bytes the device confirmed, in order
  std::size_t next_ = 0;   // next byte to send
};

bool Transfer::SendFrom(std::size_t pos) {
  const std::size_t n = std::min(block_, data_.size() - pos);
  const auto payload = wire::ByteWriter()
                           .U32(first_ + static_cast<std::uint32_t>(pos))
                           .Bytes(data_.subspan(pos, n))
                           .Take();
  if (!link_.Send(Request::Data, payload)) return false;
  next_ = pos + n;
  return true;
}

bool Transfer::Run() {
  int timeoutsInARow = 0;
  Clock::time_point deadline = Clock::now() + AckTimeout();
  while (acked_ < data_.size()) {
    bool sent = false;
    while (next_ < data_.size() && next_ - acked_ < window_ * block_) {
      if (!SendFrom(next_)) return false;
      sent = true;
    }
    // Writing may have waited for the line; the answer can only come after.
    if (sent) deadline = std::max(deadline, Clock::now() + AckTimeout());
    auto frame = link_.Receive(deadline);
    if (!frame) {
      if (link_.lost() || ++timeoutsInARow > timing::kDataTimeouts) return false;
      // The device keeps what came after a gap: resend the first missing
      // block alone; when that does not help either, everything from it.
      if (timeoutsInARow == 1) {
        const std::size_t resume = next_;
        if (!SendFrom(acked_)) return false;
        next_ = std::max(resume, next_);
      } else {
        next_ = acked_;
      }
      deadline = Clock::now() + AckTimeout();
      continue;
    }
    if (frame->type != wire::ReplyType(Request::Data)) continue;
    wire::ByteReader r(frame->payload);
    const auto status = static_cast<Status>(r.U8());
    const std::uint32_t offset = r.U32();
    if (!r.ok() || offset < first_) {
      if (status == Status::Ok || status == Status::Gap) continue;  // a damaged stale answer
      return false;
    }
    const std::size_t pos = offset - first_;
    if (status == Status::Ok) {
      // An answer may confirm more than this round resent: a late one after
      // a time-out.
      if (pos > acked_ && pos <= data_.size()) {
        acked_ = pos;
        next_ = std::max(next_, pos);
        timeoutsInARow = 0;
        deadline = Clock::now() + AckTimeout();
        ReportProgress();
      }
    } else if (status == Status::Gap) {
      // The device lost the frame at pos but keeps what came after it:
      // resend just that one and carry on.
      if (pos >= acked_ && pos < data_.size()) {
        acked_ = pos;
        const std::size_t resume = std::max(next_, pos + std::min(block_, data_.size() - pos));
        if (!SendFrom(pos)) return false;
        next_ = resume;
        deadline = Clock::now() + AckTimeout();
        ReportProgress();
      }
    } else {
      return false;  // out of range, not erased, flash error: nothing to retry
    }
  }
  return true;
}

bool DownloadSteps(const char* path, std::int32_t port, std::int32_t code) {
  // Everything about the file is settled before the device is touched.
  if (!KnownDeviceCode(code)) return false;
  const auto file = ReadWholeFile(path);
  if (!file || file->empty()) return false;
  wire::FirmwareHeader header;
  if (wire::CheckFirmwareImage(*file, &header) != wire::FirmwareCheck::Ok) return false;
  if (header.deviceCode != code || header.payloadSize == 0) return false;

  SetJob(Job::Connecting);
  auto link = Link::Open(port);
  if (!link) return false;
  const std::uint8_t hello[] = {wire::kProtocolVersion};
  const auto helloReply = link->Exchange(Request::Hello, hello, timing::kHello);
  if (!helloReply) return false;
  const auto device = wire::DecodeHello(*helloReply);
  if (!device || device->protocol != wire::kProtocolVersion ||
      device->state != wire::DeviceState::BootLoader || device->deviceCode != code ||
      file->size() > device->appSize) {
    return false;
  }
  RaiseProgress(1);

  SetJob(Job::Erasing);
  const auto erase =
      wire::ByteWriter().U32(device->appBase).U32(static_cast<std::uint32_t>(file->size())).Take();
  if (!StatusOk(link->Exchange(Request::Erase, erase, timing::kErase))) return false;
  RaiseProgress(kErasedPercent);

  SetJob(Job::Writing);
  const std::uint32_t payloadOffset =
      device->appBase + static_cast<std::uint32_t>(wire::kFirmwareHeaderSize);
  const auto payload = std::span(*file).subspan(wire::kFirmwareHeaderSize);
  const std::size_t block =
      std::min<std::size_t>(device->maxData, static_cast<std::size_t>(timing::kMaxDataBlock));
  const std::size_t window =
      std::min<std::size_t>(device->window, static_cast<std::size_t>(timing::kMaxWindow));
  if (!Transfer(*link, payload, payloadOffset, block, window).Run()) return false;
  RaiseProgress(kWrittenPercent);

  SetJob(Job::Verifying);
  const auto verify = wire::ByteWriter().U32(payloadOffset).U32(header.payloadSize).Take();
  const auto verifyReply = link->Exchange(Request::Verify, verify, timing::kVerify);
  if (!StatusOk(verifyReply)) return false;
  wire::ByteReader crc(std::span<const std::uint8_t>(*verifyReply).subspan(1));
  if (crc.U32() != header.payloadCrc || !crc.ok()) return false;
  RaiseProgress(kVerifiedPercent);

  // Only now the header: until it is there the device sees no valid image.
  SetJob(Job::Activating);
  const auto head = std::span(*file).first(wire::kFirmwareHeaderSize);
  if (!StatusOk(link->Exchange(Request::Activate, head, timing::kCommand))) return false;
  RaiseProgress(kActivatedPercent);

  SetJob(Job::Restarting);
  if (!StatusOk(link->Exchange(Request::Restart, {}, timing::kCommand))) return false;
  return true;
}

}  // namespace

bool Download(const char* firmwarePath, std::int32_t port, std::int32_t code) {
  BeginDownload();
  const bool ok = DownloadSteps(firmwarePath, port, code);
  if (ok) RaiseProgress(100);
  SetJob(ok ? Job::Done : Job::Failed);
  return ok;
}

}  // namespace kestra2g
