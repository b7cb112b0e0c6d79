#pragma once
// Why a library call failed, kept from the place it failed to the log: the
// C functions answer only 0 or 1, so this is the one record of the reason.

#include <cstdint>
#include <optional>
#include <string>

#include "kestra2g/job_state.h"
#include "kestra2g/wire/protocol.h"
#include "platform/error.h"

namespace kestra2g {

enum class Cause {
  None,
  PortUnavailable,   // the port could not be opened; error says why
  LineDropped,       // the other side hung up or the port vanished; error says how
  TimedOut,          // nothing valid came back in time
  DamagedFrames,     // only damaged frames or stray bytes came back
  Refused,           // the device answered with a status other than OK; code is it
  BadReply,          // an answer that makes no sense
  WrongDevice,       // not a boot loader of the named family, or too small
  FileCheck,         // the firmware file: unreadable, damaged or for another family
  CheckSumMismatch,  // the device's check sum of the written image differs
  BadArgument,       // a null buffer, an unknown device code
  Internal,          // something thrown inside the library
};

struct Failure {
  Job stage = Job::Idle;  // the download's job when it failed; Idle outside a download
  Cause cause = Cause::None;
  int code = 0;                          // the refusal's status
  std::string note;                      // what exactly: the request, the file check
  std::optional<platform::Error> error;  // the system's or the port's reason, when there is one
};

// While one lives, failures noted on this thread carry the download's job
// as their stage.
class DownloadStages {
 public:
  DownloadStages();
  ~DownloadStages();
  DownloadStages(const DownloadStages&) = delete;
  DownloadStages& operator=(const DownloadStages&) = delete;
};

// The record of one library call, from its entry to its return, on the
// entry's stack. The thread keeps only a plain pointer to it: a thread_local
// with a destructor is freed before that destructor runs when a thread ends
// under mingw-w64's runtime, so every worker thread of the Windows builds
// freed freed memory at its end.
class FailureScope {
 public:
  FailureScope();
  ~FailureScope();
  FailureScope(const FailureScope&) = delete;
  FailureScope& operator=(const FailureScope&) = delete;

  // The failure noted since the scope began (or the last take), then forgets it.
  Failure Take();

 private:
  Failure failure_;
  FailureScope* outer_;
};

// Notes the failure for the call running on this thread (its innermost
// FailureScope; none: nothing is noted), unless one is noted already (the
// first reason stands); returns false for `return Fail(...)`.
bool Fail(Cause cause, std::string note = {}, int code = 0);
// The same with the reason the system (or the port) gave.
bool Fail(Cause cause, std::string note, platform::Error error);
// A refusal of `request` with the status the device gave.
bool FailRefused(const char* request, wire::Status status);
// "in stage Writing: the line was dropped (data)".
std::string Describe(const Failure& failure);

}  // namespace kestra2g
