#include "emulator/faults.h"

#include <cstdlib>
#include <utility>

#include "emulator/decimal.h"
#include "kestra2g/wire/protocol.h"

namespace emulator {
namespace {

bool ParseRate(std::string_view s, double* rate) {
  bool percent = false;
  if (!s.empty() && s.back() == '%') {
    percent = true;
    s.remove_suffix(1);
  }
  const std::string text(s);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return false;
  *rate = percent ? v / 100.0 : v;
  return *rate >= 0.0 && *rate <= 1.0;
}

bool ParseInt(std::string_view s, int lo, int hi, int* value) {
  if (!s.empty() && s.back() == '%') s.remove_suffix(1);
  const auto v = Decimal(s, lo, hi);
  if (!v) return false;
  *value = static_cast<int>(*v);
  return true;
}

std::optional<wire::Request> RequestNamed(std::string_view name) {
  using wire::Request;
  static constexpr std::pair<std::string_view, Request> kNames[] = {
      {"hello", Request::Hello},
      {"query", Request::Query},
      {"catch", Request::Catch},
      {"erase", Request::Erase},
      {"data", Request::Data},
      {"verify", Request::Verify},
      {"activate", Request::Activate},
      {"restart", Request::Restart},
      {"manifest", Request::Manifest},
      {"set-rate", Request::SetRate},
      {"data-delta", Request::DataDelta},
      {"revert", Request::Revert}};
  for (const auto& [n, r] : kNames) {
    if (n == name) return r;
  }
  return std::nullopt;
}

}  // namespace

platform::Result<> AddFault(std::string_view spec, FaultPlan& plan) {
  const char* why = nullptr;
  const bool added = [&] {
    const auto colon = spec.find(':');
    const std::string_view kind = spec.substr(0, colon);
    const std::string_view arg = colon == std::string_view::npos ? "" : spec.substr(colon + 1);
    auto fail = [&](const char* what) {
      why = what;
      return false;
    };
    auto rate = [&](double* r) {
      return ParseRate(arg, r) || fail("expected a rate like 0.01 or 1%");
    };
    auto percent = [&](std::optional<int>* at) {
      int v = 0;
      if (!ParseInt(arg, 0, 100, &v)) return fail("expected a percentage 0-100");
      *at = v;
      return true;
    };
    if (kind == "flip") return rate(&plan.flip);
    if (kind == "drop") return rate(&plan.drop);
    if (kind == "garbage") return rate(&plan.garbage);
    if (kind == "lose-ack") return rate(&plan.loseAck);
    if (kind == "dup-ack") return rate(&plan.dupAck);
    if (kind == "disconnect") {
      if (const auto request = RequestNamed(arg)) {
        plan.disconnectOn = static_cast<std::uint8_t>(*request);
        return true;
      }
      int v = 0;
      if (!ParseInt(arg, 0, 100, &v)) return fail("expected a percentage 0-100 or a request name");
      plan.disconnectAt = v;
      return true;
    }
    if (kind == "lose" || kind == "lose-answer") {
      const auto request = RequestNamed(arg);
      if (!request) return fail("expected a request name");
      (kind == "lose" ? plan.loseOnce : plan.loseAnswerOnce) = static_cast<std::uint8_t>(*request);
      return true;
    }
    if (kind == "power-loss") return percent(&plan.powerLossAt);
    if (kind == "write-error") return percent(&plan.writeErrorAt);
    if (kind == "stall") {
      const auto second = arg.find(':');
      int pct = 0;
      if (!ParseInt(arg.substr(0, second), 0, 100, &pct)) return fail("expected stall:PCT[:MS]");
      if (second != std::string_view::npos &&
          !ParseInt(arg.substr(second + 1), 0, 600000, &plan.stallMs)) {
        return fail("expected stall:PCT[:MS]");
      }
      plan.stallAt = pct;
      return true;
    }
    if (kind == "rate-limit") {
      int v = 0;
      if (!ParseInt(arg, 300, 10'000'000, &v)) return fail("expected rate-limit:BAUD");
      plan.rateLimit = v;
      return true;
    }
    if (kind == "verify-error" && arg.empty()) return plan.verifyError = true;
    if (kind == "erase-error" && arg.empty()) return plan.eraseError = true;
    if (kind == "wrong-family" && arg.empty()) return plan.wrongFamily = true;
    return fail("unknown fault");
  }();
  if (added) return {};
  return platform::Fail(platform::Refusal("bad --fault " + std::string(spec), {}, why));
}

}  // namespace emulator
