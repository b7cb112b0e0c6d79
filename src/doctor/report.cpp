#include "doctor/report.h"

namespace doctor {

const char* CauseName(Cause cause) {
  switch (cause) {
    case Cause::kHeld:
      return "held";
    case Cause::kNoPermission:
      return "no-permission";
    case Cause::kNewLoginNeeded:
      return "new-login-needed";
    case Cause::kReplugForRule:
      return "replug-for-rule";
    case Cause::kBrltty:
      return "brltty";
    case Cause::kNoDriver:
      return "no-driver";
    case Cause::kClaimedByProgram:
      return "claimed-by-program";
    case Cause::kModemManager:
      return "modemmanager";
    case Cause::kNoComNumber:
      return "no-com-number";
    case Cause::kMissingPort:
      return "missing-port";
    case Cause::kDriverMissing:
      return "driver-missing";
    case Cause::kDriverFailed:
      return "driver-failed";
    case Cause::kDisabled:
      return "disabled";
    case Cause::kDeviceProblem:
      return "device-problem";
    case Cause::kNoComPort:
      return "no-com-port";
  }
  return "unknown";
}

const Finding* Report::MainFinding(int port) const {
  const Finding* missing = nullptr;
  for (const Subject& subject : subjects) {
    // Without a port, a bridge (the cable) comes before the built-in ports.
    if (port != 0 ? subject.port != port : subject.bridge.empty()) continue;
    if (subject.findings.empty()) continue;
    // A port that is not there: why the bridge has none says more.
    if (subject.findings.front().cause != Cause::kMissingPort) return &subject.findings.front();
    missing = &subject.findings.front();
  }
  for (const Subject& subject : subjects) {
    if ((port == 0 || subject.port == 0) && !subject.findings.empty())
      return &subject.findings.front();
  }
  return missing;
}

std::string SubjectText(const Subject& subject) {
  std::string text;
  if (subject.port != 0) {
    text = "COM" + std::to_string(subject.port);
    if (!subject.device.empty()) text += " (" + subject.device + ")";
    if (!subject.bridge.empty()) text += ", " + subject.bridge;
  } else {
    text = subject.bridge;
    if (!subject.device.empty()) text += " (" + subject.device + ")";
  }
  return text;
}

std::vector<std::string> Report::Lines() const {
  std::vector<std::string> lines;
  for (const Subject& subject : subjects) {
    lines.push_back("port doctor: " + SubjectText(subject) +
                    (subject.findings.empty() ? ": nothing in the way" : ":"));
    for (const Finding& finding : subject.findings) {
      lines.push_back(std::string("port doctor:   ") + CauseName(finding.cause) + ": " +
                      finding.what + "; fix: " + finding.fix);
    }
  }
  if (subjects.empty()) lines.emplace_back("port doctor: no serial port and no USB-serial bridge");
  return lines;
}

std::string Message(const Finding& finding) { return finding.what + "\n\n" + finding.fix; }

}  // namespace doctor
