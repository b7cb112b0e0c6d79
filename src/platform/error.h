#pragma once
// The one shape of a failure, from the system call up to the window's text or
// the support log's line: what failed, at which step, and why, with the
// system's own code and words when the system gave them.

#include <expected>
#include <string>
#include <utility>

#ifndef __cpp_lib_expected
#error "std::expected is needed (C++23)"
#endif

namespace platform {

struct Error {
  std::string what;    // the thing that failed: "COM3 (/dev/pts/4)", a file's path
  std::string stage;   // the step that failed: "open", "rename"; may be empty
  std::string reason;  // our own words, when we refused or the system had none
  long code = 0;       // errno or GetLastError; 0 when the system reported none
  std::string text;    // the system's text for code

  // "what: stage: reason (text, system error code)"; the parts that are empty
  // are left out.
  std::string Describe() const;
};

template <typename T = void>
using Result = std::expected<T, Error>;

// A failure the system reported with code (errno, GetLastError), its text
// taken now.
Error SystemFailure(std::string what, std::string stage, long code);
// A failure the system reported through errno (Linux) or GetLastError
// (Windows), read at once.
Error LastSystemFailure(std::string what, std::string stage);
// A failure in our own words, without a system error.
Error Refusal(std::string what, std::string stage, std::string reason);

inline std::unexpected<Error> Fail(Error error) { return std::unexpected(std::move(error)); }

}  // namespace platform
