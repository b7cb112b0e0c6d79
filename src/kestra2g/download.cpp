// Writing a firmware file into the device: every check first, then erase,
// a windowed transfer, the device's own check sum, and the image header last.

#include <algorithm>
#include <future>

#include "kestra2g/deflate_image.h"
#include "kestra2g/failure.h"
#include "kestra2g/firmware_check.h"
#include "kestra2g/job_state.h"
#include "kestra2g/library_log.h"
#include "kestra2g/line_rate.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/timing.h"
#include "kestra2g/transfer.h"
#include "kestra2g/wire/crc32.h"
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

void WritingProgress(std::size_t done, std::size_t total) {
  const auto span = kWrittenPercent - kErasedPercent;
  RaiseProgress(kErasedPercent +
                static_cast<int>((static_cast<long long>(done) * span) /
                                 static_cast<long long>(std::max<std::size_t>(total, 1))));
}

[[nodiscard]] Result<> DownloadSteps(const char* path, std::int32_t port, std::int32_t code) {
  // Everything about the file is settled before the device is touched.
  if (auto known = CheckDeviceCode(code); !known) return known;
  const auto checked = CheckFirmwareFile(path, code);
  if (!checked) return FailureOf(checked);
  const std::vector<std::uint8_t>& file = checked->bytes;
  const wire::FirmwareHeader& header = checked->header;

  SetJob(Job::Connecting);
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  const std::unique_ptr<Link> link = std::move(*opened);
  // Whatever way the call ends, the device is not left at a raised rate.
  std::optional<SwitchAskedAhead> ahead;
  struct BaseRateAtEnd {
    Link& link;
    std::optional<SwitchAskedAhead>& ahead;
    ~BaseRateAtEnd() { ReturnToBaseRate(link, ahead); }
  } baseRateAtEnd{*link, ahead};
  const auto device = link->Hello([&] { ahead = AskSwitchAhead(*link); });
  if (!device) return FailureOf(device);
  if (device->protocol != wire::kProtocolVersion ||
      device->state != wire::DeviceState::BootLoader || device->deviceCode != code ||
      file.size() > device->appSize) {
    return Fail(
        Cause::WrongDevice,
        "protocol " + std::to_string(device->protocol) +
            (device->state == wire::DeviceState::BootLoader ? ", boot loader" : ", application") +
            ", device code " + std::to_string(device->deviceCode) + ", room for " +
            std::to_string(device->appSize) + " bytes");
  }
  RaiseProgress(1);

  // Compressing takes a while: it runs while the rate and the manifest are
  // settled with the device.
  const auto payload = std::span(file).subspan(header.size());
  std::future<std::optional<std::vector<std::uint8_t>>> deflating;
  if (device->OffersDeflate()) {
    deflating = std::async(std::launch::async, DeflateImage, payload, device->windowBits);
  }

  // The device sees the signed manifest before anything is erased; one that
  // checks signatures refuses a file it cannot trust and keeps its image.
  // The manifest goes at the fastest rate that holds, and its answer proves
  // that rate for the rest of the call.
  SetJob(Job::Erasing);
  const auto head = std::span(file).first(header.size());
  if (auto proven =
          link->Acknowledged(ExchangeAtBestRate(*link, *device, ahead, Request::Manifest,
                                                wire::EncodeHeader({head}), timing::kCommand),
                             "manifest");
      !proven) {
    return proven;
  }
  if (!device->ChecksSignatures()) {
    LibraryLog().Write("the device does not check signatures; the library's check stands alone");
  }
  const auto erase = wire::EncodeRange({device->appBase, static_cast<std::uint32_t>(file.size())});

  const std::uint32_t payloadOffset = device->appBase + static_cast<std::uint32_t>(header.size());
  const std::size_t block =
      std::min<std::size_t>(device->maxData, static_cast<std::size_t>(timing::kMaxDataBlock));
  const std::size_t window =
      std::min<std::size_t>(device->window, static_cast<std::size_t>(timing::kMaxWindow));
  const TransferLimits limits{block, block * window};
  // A device that inflates gets the image compressed, unless that gains nothing.
  std::optional<std::vector<std::uint8_t>> deflated;
  if (deflating.valid()) deflated = deflating.get();
  if (deflated && deflated->size() >= payload.size()) deflated.reset();
  // Progress counts image bytes either way, so the bar moves evenly: of a
  // compressed image the device reports how much it has written.
  const bool compressed = deflated.has_value();
  // The check sum is asked for right behind the last data frame: when
  // nothing had to be sent again its answer covers the whole image.
  const auto verify = wire::EncodeRange({payloadOffset, header.payloadSize});
  auto transfer = [&] {
    Transfer t(*link, compressed ? Request::DataDeflated : Request::Data,
               compressed ? std::span<const std::uint8_t>(*deflated) : payload,
               compressed ? 0 : payloadOffset, limits,
               [&](std::size_t acked, std::optional<std::uint32_t> written) {
                 WritingProgress(compressed ? written.value_or(0) : acked, payload.size());
               });
    t.ClosedBy(Request::Verify, verify);
    return t;
  };
  auto erased = [] {
    RaiseProgress(kErasedPercent);
    SetJob(Job::Writing);
  };

  // The data follows the erase at once: the device takes it in order, once
  // erased, and refuses it while not. Should the device not have heard the
  // erase, it is asked again, and the data then waits for its answer.
  const auto eraseSeq = link->Send(Request::Erase, erase);
  if (!eraseSeq) return link->FailExchange("erase");
  Transfer behindErase = transfer();
  behindErase.OpenedBy(Request::Erase, *eraseSeq, "erase",
                       link->ReplyWait(timing::kErase, erase.size()), erased);
  std::optional<Transfer> afterErase;
  if (auto ran = behindErase.Run(); !ran) {
    if (ran.error().cause != Cause::OpeningUnheard) return ran;
    if (auto acked = link->ExchangeAck(Request::Erase, erase, timing::kErase, "erase"); !acked) {
      return acked;
    }
    erased();
    afterErase.emplace(transfer());
    if (auto rerun = afterErase->Run(); !rerun) return rerun;
  }
  RaiseProgress(kWrittenPercent);

  SetJob(Job::Verifying);
  Transfer& written = afterErase ? *afterErase : behindErase;
  auto verifyReply =
      written.ClosingAnswer(link->Capped(link->ReplyWait(timing::kVerify, verify.size())));
  if (!verifyReply) verifyReply = link->Exchange(Request::Verify, verify, timing::kVerify);
  const auto verified = link->Checked(std::move(verifyReply), "verify");
  if (!verified) return FailureOf(verified);
  const auto crc = wire::DecodeVerifyAnswer(*verified);
  if (!crc) return Fail(Cause::BadReply, "verify");
  if (crc->crc != wire::Crc32(payload)) return Fail(Cause::CheckSumMismatch);
  RaiseProgress(kVerifiedPercent);

  // Only now the header: until it is there the device sees no valid image.
  SetJob(Job::Activating);
  if (auto activated = link->ExchangeAck(Request::Activate, wire::EncodeHeader({head}),
                                         timing::kCommand, "activate");
      !activated) {
    return activated;
  }
  RaiseProgress(kActivatedPercent);

  // The device restarts at the base rate.
  SetJob(Job::Restarting);
  if (auto restarted =
          link->ExchangeAck(Request::Restart, wire::EncodeEmpty(), timing::kCommand, "restart");
      !restarted) {
    return restarted;
  }
  FollowToBaseRate(*link);
  return {};
}

}  // namespace

Result<> Download(const char* firmwarePath, std::int32_t port, std::int32_t code) {
  BeginDownload();
  auto done = DownloadSteps(firmwarePath, port, code);
  // The job the download failed in is what the log names.
  if (!done) done.error().stage = CurrentJob();
  if (done) RaiseProgress(100);
  SetJob(done ? Job::Done : Job::Failed);
  return done;
}

}  // namespace kestra2g
