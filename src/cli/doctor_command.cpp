#include "cli/doctor_command.h"

#include <iostream>

#include "cli/exit_codes.h"
#include "cli/port_report.h"
#include "doctor/machine_doctor.h"
#include "platform/exe_path.h"
#include "platform/port_scan.h"
#include "platform/serial_port.h"

namespace {

std::string Head(const doctor::Subject& subject) {
  if (subject.port == 0) {
    return subject.bridge + (subject.device.empty() ? ", no port" : ", " + subject.device);
  }
  std::string text = "COM" + std::to_string(subject.port);
  if (!subject.device.empty()) text += "  " + subject.device;
  if (!subject.bridge.empty()) text += "  " + subject.bridge;
  return text;
}

}  // namespace

int RunDoctor(int port, Output& output) {
  const doctor::Report report = doctor::ExamineMachine(port);
  platform::SupportLog log(platform::SupportLogPath(), platform::ExecutableBaseName());
  std::string libraryError;
  std::shared_ptr<DeviceLibrary> library = ListingLibrary(log, &libraryError);
  if (!library) output.Say("reflint-cli: " + libraryError + " (no port is asked for a remote)");

  std::vector<int> answering;
  for (const doctor::Subject& subject : report.subjects) {
    if (port != 0 && subject.port != port && subject.port != 0) continue;
    std::optional<std::string> remote;
    std::string state;
    if (subject.port != 0) {
      std::string held;
      const platform::PortState opens = platform::ProbePortState(subject.port, &held);
      if (opens == platform::PortState::kFree) {
        remote = library ? RemoteAnswer(*library, subject.port) : std::nullopt;
        state = remote    ? "a remote answers: " + *remote
                : library ? "opens; no remote answers"
                          : "opens";
        if (remote) answering.push_back(subject.port);
      } else if (subject.findings.empty()) {
        state = opens == platform::PortState::kMissing ? "does not exist" : "cannot be opened";
      }
      if (subject.port > kLastProbedPort) state += " (the window lists COM1-15 only)";
    }
    if (output.json()) {
      nlohmann::json object = EventObject("doctor");
      object["port"] = subject.port != 0 ? nlohmann::json(subject.port) : nullptr;
      object["device"] = subject.device.empty() ? nullptr : nlohmann::json(subject.device);
      object["bridge"] = subject.bridge.empty() ? nullptr : nlohmann::json(subject.bridge);
      object["remote"] = OrNull(remote);
      nlohmann::json findings = nlohmann::json::array();
      for (const doctor::Finding& finding : subject.findings)
        findings.push_back({{"cause", doctor::CauseName(finding.cause)},
                            {"what", finding.what},
                            {"fix", finding.fix}});
      object["findings"] = findings;
      output.Emit(object);
      continue;
    }
    std::cout << Head(subject) << (state.empty() ? "" : ": " + state) << '\n';
    int number = 0;
    for (const doctor::Finding& finding : subject.findings) {
      std::cout << "  " << ++number << ". " << finding.what << '\n'
                << "     fix: " << finding.fix << '\n';
    }
  }
  if (!output.json()) {
    if (report.subjects.empty()) std::cout << "No serial port and no USB-serial bridge found.\n";
    std::string ports;
    for (int n : answering) ports += (ports.empty() ? "COM" : ", COM") + std::to_string(n);
    std::cout << (answering.empty() ? std::string("No remote answers on any port.")
                                    : "A remote answers on " + ports + ".")
              << '\n';
  }
  return answering.empty() ? kExitNoDevice : kExitUpdated;
}
