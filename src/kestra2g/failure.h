#pragma once
// Why a library call failed, carried as the result of every step from the
// place it failed to the log: the C functions answer only 0 or 1, so the log
// is the one place the reason can go.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "kestra2g/job_state.h"
#include "kestra2g/wire/protocol.h"
#include "platform/error.h"

namespace kestra2g {

enum class Cause {
  PortUnavailable,   // the port could not be opened; error says why
  LineDropped,       // the other side hung up or the port vanished; error says how
  TimedOut,          // nothing valid came back in time
  DamagedFrames,     // only damaged frames or stray bytes came back
  Refused,           // the device answered with a status other than OK; code is it
  BadReply,          // an answer that makes no sense
  WrongDevice,       // not a boot loader of the named family, or too small
  FileCheck,         // the firmware file: unreadable, damaged or for another family
  CheckSumMismatch,  // the device's check sum of the written image differs
  // ACTIVATE was taken with its restart, but HELLO afterwards did not show
  // the device running the file's payload.
  RestartUnconfirmed,
  BadArgument,  // a null buffer, an unknown device code
  Internal,     // something thrown inside the library
  // The device never heard the request the data went out behind (the
  // erase): the caller asks it again. Not a reason a call ends with.
  OpeningUnheard,
};

struct Failure {
  Job stage = Job::Idle;  // the download's job when it failed; Idle outside a download
  Cause cause = Cause::Internal;
  int code = 0;                          // the refusal's status
  std::string note;                      // what exactly: the request, the file check
  std::optional<platform::Error> error;  // the system's or the port's reason, when there is one
};

// What each step of the library that can fail returns: its value, or why
// it failed. The first failure is the one passed up; nothing overwrites it.
template <typename T = void>
using Result = std::expected<T, Failure>;
using Unexpected = std::unexpected<Failure>;

// The failure, for `return Fail(...);`. The stage is the download's to set
// (Download), where the failure leaves it.
[[nodiscard]] Unexpected Fail(Cause cause, std::string note = {}, int code = 0);
// The same with the reason the system (or the port) gave.
[[nodiscard]] Unexpected Fail(Cause cause, std::string note, platform::Error error);
// A refusal of `request` with the status the device gave.
[[nodiscard]] Unexpected FailRefused(const char* request, wire::Status status);

// Passes the failure of a result of another type on: `if (!r) return FailureOf(r);`
template <typename T>
[[nodiscard]] Unexpected FailureOf(const Result<T>& failed) {
  return Unexpected(failed.error());
}

// "in stage Writing: the line was dropped (data)".
std::string Describe(const Failure& failure);

}  // namespace kestra2g
