#include "doctor/windows_doctor.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "doctor/known_bridges.h"

namespace doctor {
namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The four hex digits after "VID_" or "PID_" in a hardware id.
std::optional<std::uint16_t> IdAfter(const std::string& id, const char* key) {
  const std::size_t at = Upper(id).find(key);
  if (at == std::string::npos || at + 8 > id.size()) return std::nullopt;
  unsigned value = 0;
  const char* begin = id.data() + at + 4;
  const auto [end, error] = std::from_chars(begin, begin + 4, value, 16);
  if (error != std::errc() || end != begin + 4) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool HasAcmInterface(const UsbDeviceRecord& device) {
  return std::ranges::any_of(device.compatibleIds, [](const std::string& id) {
    return Upper(id).starts_with("USB\\CLASS_02&SUBCLASS_02");
  });
}

int PortNumber(const std::string& name) {
  int n = 0;
  const std::string upper = Upper(name);
  if (!upper.starts_with("COM")) return 0;
  const auto [end, error] = std::from_chars(upper.data() + 3, upper.data() + upper.size(), n);
  return error == std::errc() && end == upper.data() + upper.size() ? n : 0;
}

struct Bridge {
  const UsbDeviceRecord* device;
  const KnownBridge* known;
  std::string label;
  int port;
};

std::string Install(const KnownBridge& known, const char* again = "") {
  return "install " + std::string(known.windowsDriver) + again + ", from " +
         known.windowsDriverFrom + ", then plug the cable in again";
}

Finding WhyNoPort(const Bridge& bridge) {
  const KnownBridge& known = *bridge.known;
  const unsigned problem = bridge.device->problem;
  const std::string name = "the " + bridge.label;
  if (problem == kProblemFailedInstall) {
    return {Cause::kDriverMissing,
            name +
                " is plugged in, but has no driver, so it has no COM port (Device Manager: "
                "code 28)",
            Install(known)};
  }
  if (problem == kProblemFailedStart) {
    std::string fix = Install(known, " again");
    if (known.vendor == 0x067b)
      fix +=
          "; Prolific's newer drivers refuse old and imitation PL2303 chips with this code: "
          "a cable with a current chip works";
    return {Cause::kDriverFailed,
            name + " has a driver, but it failed to start (Device Manager: code 10)", fix};
  }
  if (problem == kProblemDisabled) {
    return {Cause::kDisabled, name + " is disabled (Device Manager: code 22)",
            "enable it: Device Manager, the device's context menu, Enable device"};
  }
  if (problem != 0) {
    return {Cause::kDeviceProblem,
            name + " does not work (Device Manager: code " + std::to_string(problem) + ")",
            "Device Manager's Properties of the device tell more; " + Install(known)};
  }
  if (known.vendor == 0x0403) {
    return {Cause::kNoComPort, name + " has a driver, but no COM port",
            "turn its COM port on: Device Manager, the device's Properties, Advanced, tick "
            "\"Load VCP\", then plug the cable in again"};
  }
  return {Cause::kNoComPort, name + " has a driver, but no COM port", Install(known)};
}

}  // namespace

Report ExamineWindows(const std::vector<UsbDeviceRecord>& devices, const std::vector<int>& ports,
                      const std::function<bool(int)>& opens, int askedPort) {
  std::vector<Bridge> bridges;
  for (const UsbDeviceRecord& device : devices) {
    const std::optional<std::uint16_t> vendor = IdAfter(device.hardwareId, "VID_");
    const std::optional<std::uint16_t> product = IdAfter(device.hardwareId, "PID_");
    if (!vendor || !product) continue;
    const KnownBridge* known = FindBridge(*vendor, *product, HasAcmInterface(device));
    if (known == nullptr) continue;
    // A device with a problem has not started: a port name left in the
    // registry from an earlier plug-in is no port now.
    bridges.push_back({&device, known, BridgeText(*known, *vendor, *product),
                       device.problem == 0 ? PortNumber(device.portName) : 0});
  }
  std::vector<int> numbers = ports;
  for (const Bridge& bridge : bridges)
    if (bridge.port != 0) numbers.push_back(bridge.port);
  if (askedPort != 0) numbers.push_back(askedPort);
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

  Report report;
  for (int n : numbers) {
    const std::string name = "COM" + std::to_string(n);
    Subject subject{n, {}, {}, {}};
    const auto bridge = std::ranges::find_if(bridges, [n](const Bridge& b) { return b.port == n; });
    if (bridge != bridges.end()) subject.bridge = bridge->label;
    const bool exists = bridge != bridges.end() || std::ranges::find(ports, n) != ports.end();
    if (!exists) {
      const auto other = std::ranges::find_if(bridges, [](const Bridge& b) { return b.port != 0; });
      const bool withoutPort =
          std::ranges::any_of(bridges, [](const Bridge& b) { return b.port == 0; });
      subject.findings.push_back(
          {Cause::kMissingPort, name + " does not exist",
           other != bridges.end() ? "the " + other->label + " is COM" +
                                        std::to_string(other->port) + ": choose that port"
           : withoutPort ? "a bridge on the bus has no COM port: see what stands in its way"
                         : "no USB-serial bridge is plugged in: plug the remote's cable in"});
    } else if (opens && !opens(n)) {
      subject.findings.push_back({Cause::kHeld, name + " is opened by another program",
                                  "close the other program that uses " + name +
                                      " (a terminal program, another flasher), then try again"});
    }
    report.subjects.push_back(std::move(subject));
  }
  for (const Bridge& bridge : bridges) {
    if (bridge.port == 0) report.subjects.push_back({0, {}, bridge.label, {WhyNoPort(bridge)}});
  }
  return report;
}

}  // namespace doctor
