#pragma once
// The protocol's request types, answer statuses and the constants both ends
// share. A reply has the request's type with the high bit set, echoes the
// request's sequence number and starts with a status byte.

#include <cstddef>
#include <cstdint>

namespace wire {

inline constexpr std::uint8_t kProtocolVersion = 1;
inline constexpr std::uint8_t kReplyBit = 0x80;

enum class Request : std::uint8_t {
  Hello = 0x01,   // -> proto, family, state, image valid, max data, window, app base, app size
  Query = 0x02,   // kind -> kind, text
  Catch = 0x03,   // -> family; keeps a listening boot loader in the boot loader
  Erase = 0x04,   // offset, length -> (status)
  Data = 0x05,    // offset, bytes -> next expected offset (cumulative)
  Verify = 0x06,  // offset, length -> CRC-32 of that flash range
  Activate =
      0x07,  // image header [, restart flag] -> (status); writes the header, making the image valid
  Restart = 0x08,  // -> (status); then starts the image if valid
  // Stream offset, deflate bytes -> next expected stream offset, image bytes written.
  DataDeflated = 0x09,
  // Signed manifest (the file's header) -> (status); announces the image
  // before ERASE. A device that checks signatures erases nothing without it.
  Manifest = 0x0A,
  // Line rate (u32), trial (u16 ms, optional) -> (status), answered at the
  // old rate; then the device runs at the new one and returns to the old one
  // unless a valid frame arrives there within the trial.
  SetRate = 0x0B,
  // Stream offset, bytes of a delta section -> next expected stream offset,
  // image bytes written (as DATA-DEFLATED). The device applies it to its
  // running payload, writing the new one into its spare slot.
  DataDelta = 0x0C,
  // Action (0 tell, 1 revert) -> the header of the previous image; with 1
  // that image runs from then on.
  Revert = 0x0D,
};

// Features a device offers in its HELLO answer.
inline constexpr std::uint8_t kFeatureDeflate = 0x01;
// The boot loader checks the manifest's signature itself and keeps the old
// image until a signed, whole new one is activated.
inline constexpr std::uint8_t kFeatureSignatureCheck = 0x02;
// The answer ends with the line rates the device can run (SET-RATE).
inline constexpr std::uint8_t kFeatureRates = 0x04;
// The answer ends with the SHA-256 of the running payload and the stored
// security counter. Such a device refuses a manifest below that counter,
// keeps the previous image in its spare slot, takes DATA-DELTA and REVERT.
inline constexpr std::uint8_t kFeatureRunningImage = 0x08;
// ACTIVATE may end with a flag byte asking the device to restart once its
// OK answer has left (at the base rate, as after RESTART): the download's
// last round trip saved.
inline constexpr std::uint8_t kFeatureRestartOnActivate = 0x10;

// Every device starts, and every call finds it, at this rate.
inline constexpr std::uint32_t kBaseRate = 115200;
// After switching, a device goes back to the rate before unless a valid
// frame arrives at the new one within its trial: what SET-RATE asks for,
// between kRateTrialMs (also the trial of a request that names none) and
// kRateIdleMs. At a raised rate it also goes back to the base rate after
// kRateIdleMs without a valid frame.
inline constexpr int kRateTrialMs = 150;
inline constexpr int kRateIdleMs = 3000;
// Rates a HELLO answer lists at most.
inline constexpr std::size_t kMaxRates = 16;

enum class Status : std::uint8_t {
  Ok = 0,
  Gap = 1,         // data frame beyond the next expected offset: resend from there
  WrongState = 2,  // not in the boot loader
  OutOfRange = 3,  // outside the application area (the boot loader is protected)
  FlashError = 4,
  BadImage = 5,      // header or image check failed
  NotAvailable = 6,  // nothing to tell (no application, no such text)
  BadRequest = 7,
  NotErased = 8,
  NotSigned = 9,  // no valid signed manifest for this device
};
// The refusals of a device that reports its running image. Named apart from
// the enumerators above, which a switch over Status names one by one;
// StatusText names them all.
inline constexpr Status kCounterBelow{10};     // manifest below the stored security counter
inline constexpr Status kNoDeltaForBase{11};   // no delta section for the running payload
inline constexpr Status kDeltaMismatch{12};    // delta bytes or result not as signed
inline constexpr Status kNothingToRevert{13};  // no valid previous image within the counter
// Statuses above this one are unknown: an answer carrying one is malformed.
inline constexpr Status kLastStatus = kNothingToRevert;

// What a status means, for the log: "security counter below the device's".
const char* StatusText(Status s);

enum class QueryKind : std::uint8_t { Boot = 0, Product = 1, Application = 2 };
inline constexpr QueryKind kLastQueryKind = QueryKind::Application;

enum class DeviceState : std::uint8_t { BootLoader = 0, Application = 1 };

enum class RevertAction : std::uint8_t { Tell = 0, Revert = 1 };

constexpr std::uint8_t ReplyType(Request r) {
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(r) | kReplyBit);
}

}  // namespace wire
