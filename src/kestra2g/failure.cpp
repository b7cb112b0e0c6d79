#include "kestra2g/failure.h"

#include <utility>

namespace kestra2g {
namespace {

const char* CauseText(Cause c) {
  switch (c) {
    case Cause::PortUnavailable:
      return "the port could not be opened";
    case Cause::LineDropped:
      return "the line was dropped";
    case Cause::TimedOut:
      return "no answer in time";
    case Cause::DamagedFrames:
      return "only damaged frames came back";
    case Cause::Refused:
      return "the device refused";
    case Cause::BadReply:
      return "the device's answer made no sense";
    case Cause::WrongDevice:
      return "the device cannot take this firmware";
    case Cause::FileCheck:
      return "the firmware file failed its check";
    case Cause::CheckSumMismatch:
      return "the device's check sum differs from the file's";
    case Cause::RestartUnconfirmed:
      return "activated, but its restart could not be confirmed";
    case Cause::BadArgument:
      return "a bad argument";
    case Cause::Internal:
      return "an internal error";
    case Cause::OpeningUnheard:
      return "the device did not hear the request before the data";
  }
  return "unknown cause";
}

}  // namespace

Unexpected Fail(Cause cause, std::string note, int code) {
  return Unexpected(Failure{Job::Idle, cause, code, std::move(note), {}});
}

Unexpected Fail(Cause cause, std::string note, platform::Error error) {
  return Unexpected(Failure{Job::Idle, cause, 0, std::move(note), std::move(error)});
}

Unexpected FailRefused(const char* request, wire::Status status) {
  return Fail(Cause::Refused,
              std::string(request) + ", status " + std::to_string(static_cast<int>(status)) + " (" +
                  wire::StatusText(status) + ")",
              static_cast<int>(status));
}

std::string Describe(const Failure& failure) {
  std::string text;
  if (failure.stage != Job::Idle) text = std::string("in stage ") + JobName(failure.stage) + ": ";
  text += CauseText(failure.cause);
  std::string detail = failure.note;
  if (failure.error) {
    if (!detail.empty()) detail += ", ";
    detail += failure.error->Describe();
  }
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

}  // namespace kestra2g
