// Writing a firmware file into the device: every check first, then erase,
// a windowed transfer, the device's own check sum, and the image header last.
// The steps are in download_steps.h; this file holds them and their order.

#include <algorithm>
#include <future>

#include "kestra2g/deflate_image.h"
#include "kestra2g/download_steps.h"
#include "kestra2g/failure.h"
#include "kestra2g/firmware_check.h"
#include "kestra2g/job_state.h"
#include "kestra2g/library_log.h"
#include "kestra2g/line_rate.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/reported_counters.h"
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

}  // namespace

namespace download {

std::optional<Unexpected> AtLeastCounter(const wire::FirmwareHeader& header,
                                         std::uint32_t deviceCounter) {
  if (header.securityCounter >= deviceCounter) return std::nullopt;
  return Fail(Cause::Refused,
              "security counter " + std::to_string(header.securityCounter) +
                  " of the file is below the device's " + std::to_string(deviceCounter),
              static_cast<int>(wire::kCounterBelow));
}

Result<wire::HelloInfo> Reach(Link& link, std::int32_t code, const wire::FirmwareHeader& header,
                              std::optional<SwitchAskedAhead>& ahead) {
  auto device = link.Hello([&] { ahead = AskSwitchAhead(link); });
  if (!device) return device;
  if (device->protocol != wire::kProtocolVersion ||
      device->state != wire::DeviceState::BootLoader || device->deviceCode != code ||
      header.imageSize() > device->appSize) {
    return Fail(
        Cause::WrongDevice,
        "protocol " + std::to_string(device->protocol) +
            (device->state == wire::DeviceState::BootLoader ? ", boot loader" : ", application") +
            ", device code " + std::to_string(device->deviceCode) + ", room for " +
            std::to_string(device->appSize) + " bytes");
  }
  // An image below the device's counter would be refused after the
  // manifest; it is refused here, before anything is sent for it.
  if (device->ReportsRunningImage()) {
    if (auto refused = AtLeastCounter(header, device->securityCounter)) return *refused;
  }
  RaiseProgress(1);
  return device;
}

namespace {

// The delta section for the payload the device runs, when the file has one
// with its bytes.
std::optional<std::span<const std::uint8_t>> DeltaForDevice(const wire::HelloInfo& device,
                                                            const CheckedFirmware& file) {
  if (!device.ReportsRunningImage()) return std::nullopt;
  const wire::DeltaSection* section = file.header.DeltaFor(device.runningSha256);
  if (section == nullptr) return std::nullopt;
  const auto bytes = wire::DeltaBytesOf(file.bytes, *section);
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

}  // namespace

std::future<std::optional<std::vector<std::uint8_t>>> StartCompressing(
    const wire::HelloInfo& device, const CheckedFirmware& file) {
  if (!device.OffersDeflate() || DeltaForDevice(device, file)) return {};
  return std::async(std::launch::async, DeflateImage, wire::PayloadOf(file.bytes, file.header),
                    device.windowBits);
}

Result<> RaiseRateWithManifest(Link& link, const wire::HelloInfo& device,
                               std::optional<SwitchAskedAhead>& ahead,
                               std::span<const std::uint8_t> head) {
  SetJob(Job::Erasing);
  auto proven = link.Acknowledged(ExchangeAtBestRate(link, device, ahead, Request::Manifest,
                                                     wire::EncodeHeader({head}), timing::kCommand),
                                  "manifest");
  if (proven && !device.ChecksSignatures()) {
    LibraryLog().Write("the device does not check signatures; the library's check stands alone");
  }
  return proven;
}

Stream ChooseStream(const wire::HelloInfo& device, const CheckedFirmware& file,
                    std::future<std::optional<std::vector<std::uint8_t>>> deflating) {
  const auto payload = wire::PayloadOf(file.bytes, file.header);
  if (const auto delta = DeltaForDevice(device, file)) {
    LibraryLog().Write(
        "the device runs the base of a delta section: " + std::to_string(delta->size()) +
        " bytes in place of " + std::to_string(payload.size()));
    return {Request::DataDelta, *delta, 0, true, {}};
  }
  std::optional<std::vector<std::uint8_t>> deflated;
  if (deflating.valid()) deflated = deflating.get();
  // A device that inflates gets the image compressed, unless that gains nothing.
  if (deflated && deflated->size() < payload.size()) {
    LibraryLog().Write("the image compressed: " + std::to_string(deflated->size()) +
                       " bytes in place of " + std::to_string(payload.size()));
    auto owned = std::make_unique<const std::vector<std::uint8_t>>(std::move(*deflated));
    const std::span<const std::uint8_t> bytes(*owned);
    return {Request::DataDeflated, bytes, 0, true, std::move(owned)};
  }
  const std::uint32_t payloadOffset =
      device.appBase + static_cast<std::uint32_t>(file.header.size());
  return {Request::Data, payload, payloadOffset, false, {}};
}

namespace {

std::vector<std::uint8_t> VerifyRequest(const wire::HelloInfo& device,
                                        const wire::FirmwareHeader& header) {
  return wire::EncodeRange(
      {device.appBase + static_cast<std::uint32_t>(header.size()), header.payloadSize});
}

// The file's header, with the restart asked of a device that offers it.
std::vector<std::uint8_t> ActivateRequest(const wire::HelloInfo& device,
                                          const CheckedFirmware& file) {
  return wire::EncodeActivate(
      {std::span(file.bytes).first(file.header.size()), device.RestartsOnActivate()});
}

// The closing's requests, in the order they go out and are answered.
constexpr std::size_t kVerifyAnswer = 0;
constexpr std::size_t kActivateAnswer = 1;

}  // namespace

Result<Transfer> EraseAndWrite(Link& link, const wire::HelloInfo& device,
                               const CheckedFirmware& file, const Stream& stream) {
  const auto erase =
      wire::EncodeRange({device.appBase, static_cast<std::uint32_t>(file.header.imageSize())});
  const std::size_t block =
      std::min<std::size_t>(device.maxData, static_cast<std::size_t>(timing::kMaxDataBlock));
  const std::size_t window =
      std::min<std::size_t>(device.window, static_cast<std::size_t>(timing::kMaxWindow));
  const TransferLimits limits{block, block * window};
  const std::size_t imageBytes = file.header.payloadSize;
  const bool countsWritten = stream.countsWritten;
  auto transfer = [&] {
    Transfer t(
        link, stream.request, stream.bytes, stream.firstOffset, limits,
        [imageBytes, countsWritten](std::size_t acked, std::optional<std::uint32_t> written) {
          WritingProgress(countsWritten ? written.value_or(0) : acked, imageBytes);
        });
    t.ClosedBy(Request::Verify, VerifyRequest(device, file.header));
    // Safe behind the data: the device activates only an image it checked
    // itself, and a refused ACTIVATE changes nothing.
    t.ClosedBy(Request::Activate, ActivateRequest(device, file), /*proves=*/true);
    return t;
  };
  auto erased = [] {
    RaiseProgress(kErasedPercent);
    SetJob(Job::Writing);
  };

  const auto eraseSeq = link.Send(Request::Erase, erase);
  if (!eraseSeq) return link.FailExchange("erase");
  Transfer behindErase = transfer();
  behindErase.OpenedBy(Request::Erase, *eraseSeq, "erase",
                       link.ReplyWait(timing::kErase, erase.size()), erased);
  auto ran = behindErase.Run();
  if (ran) return behindErase;
  if (ran.error().cause != Cause::OpeningUnheard) return FailureOf(ran);
  if (auto acked = link.ExchangeAck(Request::Erase, erase, timing::kErase, "erase"); !acked) {
    return FailureOf(acked);
  }
  erased();
  Transfer afterErase = transfer();
  if (auto rerun = afterErase.Run(); !rerun) return FailureOf(rerun);
  return afterErase;
}

namespace {

// VERIFY's answer against the payload's CRC-32.
Result<> CheckSum(Result<std::vector<std::uint8_t>> verified, const CheckedFirmware& file) {
  if (!verified) return FailureOf(verified);
  const auto crc = wire::DecodeVerifyAnswer(*verified);
  if (!crc) return Fail(Cause::BadReply, "verify");
  if (crc->crc != wire::Crc32(wire::PayloadOf(file.bytes, file.header))) {
    return Fail(Cause::CheckSumMismatch);
  }
  return {};
}

// A device asked to restart on ACTIVATE, whose OK answer went astray, runs
// its application at the base rate and refuses ACTIVATE there: HELLO shows
// whether it runs the file's payload (a device that keeps the image before
// beside it says which one runs).
Result<> ConfirmRestart(Link& link, const wire::HelloInfo& device, const CheckedFirmware& file) {
  const auto hello = link.Hello();
  if (!hello) return FailureOf(hello);
  if (hello->state != wire::DeviceState::Application) {
    return Fail(Cause::RestartUnconfirmed, "HELLO: boot loader");
  }
  if (device.ReportsRunningImage() && hello->runningSha256 != file.header.payloadSha256) {
    return Fail(Cause::RestartUnconfirmed, "HELLO: another image runs");
  }
  LibraryLog().Write("activate: answer lost, the device restarted into the new image");
  return {};
}

// ACTIVATE asked again, after the closing's went unanswered or was refused.
// True when the device restarted with it.
Result<bool> ActivateAgain(Link& link, const wire::HelloInfo& device, const CheckedFirmware& file) {
  const bool restarts = device.RestartsOnActivate();
  const auto request = ActivateRequest(device, file);
  auto reply = link.Exchange(Request::Activate, request, timing::kCommand);
  // Restarted on an ACTIVATE whose answer was lost, the device runs at the
  // base rate.
  if (!reply && restarts && !link.lost() && link.rate() != wire::kBaseRate) {
    FollowToBaseRate(link);
    reply = link.Exchange(Request::Activate, request, timing::kCommand);
  }
  if (restarts && reply && wire::ReplyStatus(*reply) == Status::WrongState) {
    if (auto confirmed = ConfirmRestart(link, device, file); !confirmed)
      return FailureOf(confirmed);
    return true;
  }
  if (auto activated = link.Acknowledged(std::move(reply), "activate"); !activated) {
    return FailureOf(activated);
  }
  return restarts;
}

}  // namespace

Result<> Finish(Link& link, const wire::HelloInfo& device, Transfer& written,
                const CheckedFirmware& file) {
  RaiseProgress(kWrittenPercent);
  SetJob(Job::Verifying);
  const auto answers = written.ClosingAnswers(timing::kVerify);
  const auto& verifyAnswer = answers[kVerifyAnswer];
  const auto& activateAnswer = answers[kActivateAnswer];
  // ACTIVATE answered OK from the closing: the device checked the image
  // itself and wrote the header (and, asked to, restarts).
  const bool activated = activateAnswer && wire::ReplyStatus(*activateAnswer) == Status::Ok;
  if (activated && device.RestartsOnActivate()) FollowToBaseRate(link);

  // VERIFY's answer, when it came, must match all the same. Lost behind an
  // OK activation, it is not asked again: the image is verified, and a
  // restarted device would refuse it.
  if (verifyAnswer) {
    if (auto sum = CheckSum(link.Checked(*verifyAnswer, "verify"), file); !sum) return sum;
  } else if (!activated) {
    // Neither came, however often the closing went.
    return link.FailExchange("verify");
  }
  RaiseProgress(kVerifiedPercent);

  // Only now the header: until it is there the device sees no valid image.
  // Refused or unanswered from the closing while the check sum matched:
  // asked again.
  SetJob(Job::Activating);
  bool restarted = activated && device.RestartsOnActivate();
  if (!activated) {
    const auto again = ActivateAgain(link, device, file);
    if (!again) return FailureOf(again);
    restarted = *again;
  }
  RaiseProgress(kActivatedPercent);

  // The device restarts, at the base rate; our end follows.
  SetJob(Job::Restarting);
  if (!restarted) {
    auto acked =
        link.ExchangeAck(Request::Restart, wire::EncodeEmpty(), timing::kCommand, "restart");
    if (!acked) return acked;
  }
  FollowToBaseRate(link);
  return {};
}

}  // namespace download

namespace {

[[nodiscard]] Result<> DownloadSteps(const char* path, std::int32_t port, std::int32_t code) {
  // Everything about the file is settled before the device is touched.
  if (auto known = CheckDeviceCode(code); !known) return known;
  const auto checked = CheckFirmwareFile(path, code);
  if (!checked) return FailureOf(checked);
  const CheckedFirmware& file = *checked;
  const auto head = std::span(file.bytes).first(file.header.size());

  // A remote that reported its counter on this port earlier (the program
  // asks HELLO before the download) is not asked at all for a file below it.
  if (const auto reported = ReportedCounter(port)) {
    if (auto refused = download::AtLeastCounter(file.header, *reported)) return *refused;
  }
  SetJob(Job::Connecting);
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  Link& link = **opened;
  // Whatever way the call ends, the device is not left at a raised rate.
  std::optional<SwitchAskedAhead> ahead;
  struct BaseRateAtEnd {
    Link& link;
    std::optional<SwitchAskedAhead>& ahead;
    ~BaseRateAtEnd() { ReturnToBaseRate(link, ahead); }
  } baseRateAtEnd{link, ahead};

  const auto device = download::Reach(link, code, file.header, ahead);
  if (!device) return FailureOf(device);
  auto deflating = download::StartCompressing(*device, file);
  if (auto raised = download::RaiseRateWithManifest(link, *device, ahead, head); !raised) {
    return raised;
  }
  const download::Stream stream = download::ChooseStream(*device, file, std::move(deflating));
  auto written = download::EraseAndWrite(link, *device, file, stream);
  if (!written) return FailureOf(written);
  return download::Finish(link, *device, *written, file);
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
