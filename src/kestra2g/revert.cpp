// The way back to the image the device ran before its last update: the boot
// loader keeps it in its spare slot and tells, or runs, it on REVERT.

#include <algorithm>
#include <memory>
#include <utility>

#include "kestra2g/failure.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/timing.h"
#include "kestra2g/wire/firmware_file.h"

namespace kestra2g {
namespace {

using wire::Request;

// The previous image's header from a REVERT answer, and its version.
[[nodiscard]] Result<wire::FirmwareHeader> PreviousHeader(const std::vector<std::uint8_t>& reply) {
  const auto answer = wire::DecodeRevertAnswer(reply);
  wire::FirmwareHeader header;
  if (!answer || wire::ParseFirmwareHeader(answer->header, &header) != wire::FirmwareCheck::Ok) {
    return Fail(Cause::BadReply, "revert");
  }
  return header;
}

}  // namespace

Result<std::string> Revert(std::int32_t port, std::int32_t code, std::int32_t apply) {
  if (auto known = CheckDeviceCode(code); !known) return FailureOf(known);
  if (apply != 0 && apply != 1) return Fail(Cause::BadArgument, "apply " + std::to_string(apply));
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  const std::unique_ptr<Link> link = std::move(*opened);
  const auto device = link->Hello();
  if (!device) return FailureOf(device);
  if (device->protocol != wire::kProtocolVersion ||
      device->state != wire::DeviceState::BootLoader || device->deviceCode != code ||
      !device->ReportsRunningImage()) {
    return Fail(Cause::WrongDevice,
                (device->state == wire::DeviceState::BootLoader ? "boot loader" : "application") +
                    std::string(", device code ") + std::to_string(device->deviceCode) +
                    (device->ReportsRunningImage() ? "" : ", keeps no previous image"));
  }

  // Telling is harmless to repeat; it also names the image a revert must bring.
  const auto told =
      link->ExchangeOk(Request::Revert, wire::EncodeRevert({wire::RevertAction::Tell}),
                       timing::kCommand, "revert (tell)");
  if (!told) return FailureOf(told);
  const auto previous = PreviousHeader(*told);
  if (!previous) return FailureOf(previous);
  if (apply == 0) return previous->version;

  for (int attempt = 0; attempt < timing::kRevertTries; ++attempt) {
    if (attempt > 0) {
      // The answer to the last try was lost: it may have been done.
      const auto now = link->Hello();
      if (!now) return FailureOf(now);
      if (now->runningSha256 == previous->payloadSha256) break;
    }
    auto reply = link->Exchange(Request::Revert, wire::EncodeRevert({wire::RevertAction::Revert}),
                                timing::kRevert);
    if (!reply && link->lost()) return link->FailExchange("revert");
    if (!reply) {
      if (attempt + 1 == timing::kRevertTries) return link->FailExchange("revert");
      continue;
    }
    const auto checked = link->Checked(std::move(reply), "revert");
    if (!checked) return FailureOf(checked);
    const auto reverted = PreviousHeader(*checked);
    if (!reverted) return FailureOf(reverted);
    // The device may have kept another image by now than it told.
    if (reverted->payloadSha256 != previous->payloadSha256) {
      return Fail(Cause::BadReply, "revert: another image than told");
    }
    break;
  }

  // Only a restart leaves the boot loader for the image now in place.
  if (auto restarted =
          link->ExchangeAck(Request::Restart, wire::EncodeEmpty(), timing::kCommand, "restart");
      !restarted) {
    return FailureOf(restarted);
  }
  return previous->version;
}

}  // namespace kestra2g
