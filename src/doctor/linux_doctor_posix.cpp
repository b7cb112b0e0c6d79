#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "doctor/linux_doctor.h"
#include "platform/path_text.h"

namespace doctor {
namespace {

constexpr const char* kLogInAgain = "then log out and in again";
constexpr const char* kStopModemManager =
    "stop it for the update: sudo systemctl stop ModemManager (and sudo systemctl start "
    "ModemManager afterwards)";

// "crw-rw---- root:dialout"
std::string ModeText(const Node& node, const Groups& groups, const std::string& owner) {
  std::string text = S_ISCHR(node.mode) ? "c" : "-";
  const char* letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) text += (node.mode & (0400u >> bit)) != 0 ? letters[bit] : '-';
  return text + " " + owner + ":" + groups.NameOf(node.gid);
}

bool InSession(const LinuxUser& user, unsigned gid) {
  return std::ranges::find(user.sessionGroups, gid) != user.sessionGroups.end();
}

// What the mode bits allow the user; a view without the live answer uses it.
bool ModeAllows(const Node& node, const LinuxUser& user) {
  constexpr unsigned kOwnerRw = 0600, kGroupRw = 0060, kOtherRw = 0006;
  if (user.uid == 0) return true;
  if (node.uid == user.uid) return (node.mode & kOwnerRw) == kOwnerRw;
  if (InSession(user, node.gid)) return (node.mode & kGroupRw) == kGroupRw;
  return (node.mode & kOtherRw) == kOtherRw;
}

// The bridge whose tty this device is, and the tty's name.
const UsbBridge* BridgeOf(const std::vector<UsbBridge>& bridges, const std::string& device,
                          std::string* tty) {
  const std::string name(platform::NamePart(device));
  if (!device.starts_with("/dev/")) return nullptr;
  for (const UsbBridge& bridge : bridges) {
    for (const UsbInterface& interface : bridge.interfaces) {
      if (std::ranges::find(interface.ttys, name) != interface.ttys.end()) {
        *tty = name;
        return &bridge;
      }
    }
  }
  return nullptr;
}

std::string BridgeLabel(const UsbBridge& bridge) {
  return BridgeText(*bridge.known, bridge.vendor, bridge.product) + " on USB " + bridge.usbName;
}

bool HasTty(const UsbBridge& bridge) {
  return std::ranges::any_of(bridge.interfaces,
                             [](const UsbInterface& i) { return !i.ttys.empty(); });
}

// "quit picocom (or end it: kill 4410)" from "held by process 4410 (picocom) ...".
std::string QuitFix(const std::string& held) {
  const std::size_t at = held.find("process ");
  if (at != std::string::npos) {
    const std::size_t open = held.find(" (", at);
    const std::size_t close = held.find(')', at);
    const std::string pid =
        held.substr(at + 8, held.find_first_not_of("0123456789", at + 8) - at - 8);
    if (open != std::string::npos && close != std::string::npos && !pid.empty()) {
      const std::string program = held.substr(open + 2, close - open - 2);
      return "quit " + program + " (or end it: kill " + pid + "), then try again";
    }
  }
  return "quit the program that uses the port, then try again";
}

class Examination {
 public:
  Examination(const LinuxView& view)
      : view_(view),
        bridges_(ReadUsbBridges(view.root)),
        groups_(ReadGroups(view.root)),
        modemManager_(ProcessRunning(view.root, "ModemManager")),
        ourRule_(OurRuleInstalled(view.root)) {}

  Subject Port(const PortDevice& port, const std::vector<PortDevice>& all) {
    Subject subject{port.port, port.device, {}, {}};
    std::string tty;
    const UsbBridge* bridge = BridgeOf(bridges_, port.device, &tty);
    if (bridge != nullptr) subject.bridge = BridgeLabel(*bridge);
    const std::string path = UnderRoot(view_.root, port.device);
    const std::optional<Node> node = ReadNode(path);
    if (!node) {
      Missing(subject, all);
      return subject;
    }
    if (const std::optional<std::string> held =
            view_.heldBy ? view_.heldBy(port.device) : std::nullopt) {
      const bool byModemManager = held->find("(ModemManager)") != std::string::npos;
      subject.findings.push_back(
          {Cause::kHeld, port.device + " is " + *held,
           byModemManager ? "ModemManager looks for a modem on new ports for up to half a "
                            "minute: wait, or " +
                                std::string(kStopModemManager)
                          : QuitFix(*held)});
    }
    const bool may = view_.mayOpen ? view_.mayOpen(path) : ModeAllows(*node, view_.user);
    const UdevRecord udev = bridge != nullptr ? ReadUdevRecord(view_.root, tty) : UdevRecord{};
    if (!may) Permission(subject, *node, bridge, udev);
    if (bridge != nullptr && modemManager_ && !udev.Has("ID_MM_DEVICE_IGNORE=1") &&
        !udev.Has("ID_MM_TTY_MANUAL_SCAN_ONLY=1")) {
      const bool ruleCovers = ourRule_ && bridge->known->modemManagerIgnores;
      subject.findings.push_back(
          {Cause::kModemManager,
           "ModemManager runs and no udev rule tells it to leave " + port.device +
               " alone: it probes the port for a modem and sends it AT commands",
           ruleCovers ? "the package's rule tells it at the next plug-in: unplug the cable and "
                        "plug it in again"
           : bridge->known->modemManagerIgnores
               ? "install the reflint package (its udev rule tells ModemManager to leave the "
                 "bridge alone), or " +
                     std::string(kStopModemManager)
               : std::string(kStopModemManager)});
    }
    return subject;
  }

  // The bridges on the bus that give the user no port.
  void Bridges(const std::vector<PortDevice>& ports, Report& report) {
    for (const UsbBridge& bridge : bridges_) {
      if (!HasTty(bridge)) {
        report.subjects.push_back({0, {}, BridgeLabel(bridge), {WhyNoTty(bridge)}});
        continue;
      }
      for (const UsbInterface& interface : bridge.interfaces) {
        for (const std::string& tty : interface.ttys) {
          const std::string device = "/dev/" + tty;
          if (std::ranges::any_of(ports, [&](const PortDevice& p) { return p.device == device; }))
            continue;
          report.subjects.push_back(
              {0,
               device,
               BridgeLabel(bridge),
               {{Cause::kNoComNumber, device + " has no COM number the program lists",
                 "give it one: mkdir -p ~/.config/reflint/dosdevices && ln -s " + device +
                     " ~/.config/reflint/dosdevices/com16 (for reflint-cli: "
                     "~/.config/reflint-cli/dosdevices)"}}});
        }
      }
    }
  }

 private:
  void Missing(Subject& subject, const std::vector<PortDevice>& all) {
    std::string elsewhere;
    for (const UsbBridge& bridge : bridges_) {
      for (const PortDevice& other : all) {
        std::string tty;
        if (other.port != subject.port && BridgeOf(bridges_, other.device, &tty) == &bridge &&
            ReadNode(UnderRoot(view_.root, other.device))) {
          elsewhere = "COM" + std::to_string(other.port) + " (" + other.device + ", " +
                      BridgeLabel(bridge) + ")";
          break;
        }
      }
      if (!elsewhere.empty()) break;
    }
    const bool bridgeWithoutTty =
        std::ranges::any_of(bridges_, [](const UsbBridge& b) { return !HasTty(b); });
    subject.findings.push_back(
        {Cause::kMissingPort, subject.device + " does not exist",
         !elsewhere.empty() ? "the bridge on the bus is " + elsewhere + ": choose that port"
         : bridgeWithoutTty ? "a bridge on the bus has no port: see what stands in its way"
                            : "no USB-serial bridge is plugged in: plug the remote's cable in "
                              "(lsusb lists what is on the bus)"});
  }

  void Permission(Subject& subject, const Node& node, const UsbBridge* bridge,
                  const UdevRecord& udev) {
    const LinuxUser& user = view_.user;
    const std::string owner = UserName(view_.root, node.uid);
    const std::string group = groups_.NameOf(node.gid);
    const std::string you = user.name.empty() ? "you" : "you (" + user.name + ")";
    const std::string head =
        you + " may not open " + subject.device + ": it is " + ModeText(node, groups_, owner);
    constexpr unsigned kGroupRw = 0060;
    if ((node.mode & kGroupRw) != kGroupRw || node.gid == 0) {
      subject.findings.push_back(
          {Cause::kNoPermission, head + ", and its group may not open it",
           "give it to the dialout group with a udev rule (GROUP=\"dialout\", MODE=\"0660\"), "
           "then sudo usermod -aG dialout $USER and log out and in again"});
      return;
    }
    if (!InSession(user, node.gid) &&
        (groups_.Lists(node.gid, user.name) || user.primaryGroup == node.gid)) {
      subject.findings.push_back(
          {Cause::kNewLoginNeeded,
           head + "; you are in the group " + group +
               ", but this session began before you "
               "joined it",
           "log out and in again (or start the program from a shell opened with newgrp " + group +
               ")"});
      return;
    }
    const bool ruleCovers = ourRule_ && bridge != nullptr;
    if (ruleCovers && !udev.Tagged("uaccess")) {
      subject.findings.push_back(
          {Cause::kReplugForRule,
           head + "; the package's udev rule gives the person at this computer the port, but "
                  "the cable was plugged in before the rule was installed",
           "unplug the cable and plug it in again"});
    }
    std::string what = head + ", and you are not in the group " + group;
    if (ruleCovers && udev.Tagged("uaccess"))
      what +=
          " (the package's rule gives the port only to the person logged in at this "
          "computer's own screen)";
    std::string fix = "sudo usermod -aG " + group + " $USER, " + kLogInAgain;
    if (!ourRule_ && bridge != nullptr)
      fix +=
          "; or install the reflint package, whose udev rule gives the person at this "
          "computer the port at the next plug-in";
    subject.findings.push_back({Cause::kNoPermission, what, fix});
  }

  Finding WhyNoTty(const UsbBridge& bridge) {
    const KnownBridge& known = *bridge.known;
    const std::optional<std::string> brltty =
        BrlttyClaim(view_.root, bridge.vendor, bridge.product);
    const std::string driver = bridge.interfaces.empty() ? "" : bridge.interfaces.front().driver;
    if (brltty && (!BrlttyMasked(view_.root) || ProcessRunning(view_.root, "brltty"))) {
      return {Cause::kBrltty,
              "brltty takes the " + std::string(known.name) + " for a braille display (" + *brltty +
                  ") and removes its port",
              "if you use no braille display: sudo systemctl mask brltty-udev.service && sudo "
              "systemctl stop brltty-udev.service brltty.service (or sudo apt remove brltty), "
              "then plug the cable in again"};
    }
    if (driver == "usbfs") {
      return {Cause::kClaimedByProgram,
              "a program took the " + std::string(known.name) +
                  " for itself through libusb, so the kernel made no port of it",
              "quit the program that uses it (lsof /dev/bus/usb/*/* names it), then plug the "
              "cable in again"};
    }
    if (driver.empty()) {
      return {Cause::kNoDriver,
              "no kernel driver has taken the " + std::string(known.name) + ", so it has no port",
              "load its driver: sudo modprobe " + std::string(known.linuxDriver) +
                  ", then plug the cable in again"};
    }
    return {Cause::kNoDriver,
            "its driver " + driver + " made no port of the " + std::string(known.name),
            "plug the cable in again; if the port still does not come, sudo dmesg tells why"};
  }

  const LinuxView& view_;
  std::vector<UsbBridge> bridges_;
  Groups groups_;
  bool modemManager_;
  bool ourRule_;
};

}  // namespace

Report ExamineLinux(const LinuxView& view, const std::vector<PortDevice>& ports, int askedPort) {
  Examination examination(view);
  std::vector<PortDevice> sorted = ports;
  std::sort(sorted.begin(), sorted.end(),
            [](const PortDevice& a, const PortDevice& b) { return a.port < b.port; });
  Report report;
  for (const PortDevice& port : sorted) {
    const bool exists = ReadNode(UnderRoot(view.root, port.device)).has_value();
    if (!exists && port.port != askedPort) continue;
    report.subjects.push_back(examination.Port(port, sorted));
  }
  examination.Bridges(sorted, report);
  return report;
}

}  // namespace doctor
