#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "kestra2g/failure.h"
#include "kestra2g/link.h"
#include "kestra2g/operations.h"
#include "kestra2g/timing.h"

namespace kestra2g {
namespace {

// The caller's information buffer holds 255 bytes: 254 of text and the NUL.
constexpr std::size_t kInfoTextMax = 254;

Attempts QueryAttempts(std::int32_t mode) {
  Attempts a = timing::kQuery;
  if (mode > 0) a.fixedWait = std::chrono::milliseconds(std::min(mode, 10000));
  return a;
}

}  // namespace

Result<> CheckDeviceCode(std::int32_t code) {
  if (code < 0 || code > 3) return Fail(Cause::BadArgument, "device code " + std::to_string(code));
  return {};
}

Result<> QueryText(wire::QueryKind kind, std::int32_t mode, char* info, std::int32_t port) {
  if (info == nullptr) return Fail(Cause::BadArgument, "no information buffer");
  auto opened = Link::Open(port);
  if (!opened) return FailureOf(opened);
  const std::unique_ptr<Link> link = std::move(*opened);
  const auto reply = link->ExchangeOk(wire::Request::Query, wire::EncodeQuery({kind}),
                                      QueryAttempts(mode), "query");
  if (!reply) return FailureOf(reply);
  const auto answer = wire::DecodeQueryAnswer(*reply);
  if (!answer || answer->kind != kind) return Fail(Cause::BadReply, "query");
  // The text ends at its first NUL or at what the buffer can hold.
  const std::string& text = answer->text;
  const std::size_t n = std::min({text.find('\0'), text.size(), kInfoTextMax});
  std::memcpy(info, text.data(), n);
  info[n] = '\0';
  return {};
}

}  // namespace kestra2g
