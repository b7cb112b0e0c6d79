#pragma once
// The one shape of a failure, from the system call up to the window's text or
// the support log's line: what failed, at which step, and why, with the
// system's own code and words when the system gave them.

#include <optional>
#include <string>
#include <utility>
#if __has_include(<expected>)
#include <expected>
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

#if defined(__cpp_lib_expected)
template <typename T = void>
using Result = std::expected<T, Error>;
using Unexpected = std::unexpected<Error>;
#elif defined(__clang__)
// clang 14, which builds the fuzz targets, cannot use libstdc++ 12's
// std::expected (it needs newer concepts). This stand-in has the part of
// std::expected's interface the fuzzed code uses.
struct Unexpected {
  explicit Unexpected(Error e) : error(std::move(e)) {}
  Error error;
};
template <typename T = void>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}         // NOLINT: as std::expected
  Result(Unexpected u) : error_(std::move(u.error)) {}  // NOLINT: as std::expected
  bool has_value() const { return !error_; }
  explicit operator bool() const { return has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  const Error& error() const { return *error_; }

 private:
  std::optional<T> value_;
  std::optional<Error> error_;
};
template <>
class Result<void> {
 public:
  Result() = default;
  Result(Unexpected u) : error_(std::move(u.error)) {}  // NOLINT: as std::expected
  bool has_value() const { return !error_; }
  explicit operator bool() const { return has_value(); }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};
#else
#error "std::expected is needed (C++23)"
#endif

// A failure the system reported with code (errno, GetLastError), its text
// taken now.
Error SystemFailure(std::string what, std::string stage, long code);
// A failure the system reported through errno (Linux) or GetLastError
// (Windows), read at once.
Error LastSystemFailure(std::string what, std::string stage);
// A failure in our own words, without a system error.
Error Refusal(std::string what, std::string stage, std::string reason);

inline Unexpected Fail(Error error) { return Unexpected(std::move(error)); }

}  // namespace platform
