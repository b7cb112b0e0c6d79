// Getting hold of the device's boot loader: asking whether it is there, and
// catching it in the moment after RESET or power-up when it listens.

#include <algorithm>
#include <memory>
#include <utility>

#include "kestra2g/failure.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/timing.h"

namespace kestra2g {
namespace {

bool FamilyMatches(std::int32_t code, std::uint8_t deviceCode) {
  return code < 0 || code == deviceCode;
}

// A negative code asks for any family.
[[nodiscard]] Result<> CheckFamilyAsked(std::int32_t code) {
  if (code < 0) return {};
  return CheckDeviceCode(code);
}

}  // namespace

Result<> InitCom(std::int32_t port, std::int32_t code) {
  if (auto known = CheckFamilyAsked(code); !known) return known;
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  const std::unique_ptr<Link> link = std::move(*opened);
  const auto info = link->Hello();
  if (!info) return FailureOf(info);
  // Only a boot loader of the named family takes a download; the running
  // application refuses until the user presses RESET.
  if (info->protocol != wire::kProtocolVersion || info->state != wire::DeviceState::BootLoader ||
      !FamilyMatches(code, info->deviceCode)) {
    return Fail(Cause::WrongDevice,
                (info->state == wire::DeviceState::BootLoader ? "boot loader" : "application") +
                    std::string(", device code ") + std::to_string(info->deviceCode));
  }
  return {};
}

Result<> CatchBoot(std::int32_t port, std::int32_t code) {
  // The whole try, the port's opening included, ends within the time the
  // program waits for it: an answer after that would not be read.
  const Clock::time_point giveUp = Clock::now() + timing::kCatchWithin;
  if (auto known = CheckFamilyAsked(code); !known) return known;
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  const std::unique_ptr<Link> link = std::move(*opened);
  // Keep asking to the end: the boot loader listens only briefly after
  // RESET, and a slow one's answer to an early request still counts when it
  // comes in time. One caught too late to be heard stays in its boot loader,
  // where the next try finds it.
  while (Clock::now() < giveUp) {
    if (!link->Send(wire::Request::Catch, wire::EncodeEmpty())) return link->FailExchange("catch");
    const Clock::time_point next = std::min(giveUp, Clock::now() + timing::kCatchEvery);
    while (auto frame = link->Receive(next)) {
      if (frame->type != wire::ReplyType(wire::Request::Catch)) continue;
      if (const auto caught = wire::DecodeCatchAnswer(frame->payload)) {
        if (!FamilyMatches(code, caught->deviceCode)) {
          return Fail(Cause::WrongDevice, "device code " + std::to_string(caught->deviceCode));
        }
        return {};
      }
    }
    if (link->lost()) return link->FailExchange("catch");
  }
  return link->FailExchange("catch");
}

}  // namespace kestra2g
