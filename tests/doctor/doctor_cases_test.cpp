// The port doctor over machine states, one table per system: what stands
// between the user and the remote, and the fix it names. On Linux the
// machine is a tree laid out as /sys, /dev, /etc, /proc, /run and the udev
// rules folders lay it out, read by the real code; on Windows, recorded
// SetupAPI answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "doctor/report.h"
#include "doctor/windows_doctor.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "doctor/linux_doctor.h"
#include "support/temp_folder.h"
#endif

namespace {

// What the finding about the asked port (or, without one, the first about
// a bridge) must be; no cause: nothing may be found.
struct Expected {
  Expected(std::optional<doctor::Cause> c = {}, std::vector<std::string> w = {},
           std::vector<std::string> f = {}, std::optional<doctor::Cause> s = {})
      : cause(c), inWhat(std::move(w)), inFix(std::move(f)), second(s) {}
  std::optional<doctor::Cause> cause;
  std::vector<std::string> inWhat;
  std::vector<std::string> inFix;
  std::optional<doctor::Cause> second;  // the finding after it, when one must follow
};

void Check(const doctor::Report& report, int asked, const Expected& expected) {
  std::string all;
  for (const std::string& line : report.Lines()) all += line + "\n";
  SCOPED_TRACE(all);
  const doctor::Finding* finding = report.MainFinding(asked);
  if (!expected.cause) {
    EXPECT_EQ(finding, nullptr);
    return;
  }
  ASSERT_NE(finding, nullptr);
  EXPECT_EQ(doctor::CauseName(finding->cause), std::string(doctor::CauseName(*expected.cause)));
  for (const std::string& text : expected.inWhat)
    EXPECT_NE(finding->what.find(text), std::string::npos) << text;
  for (const std::string& text : expected.inFix)
    EXPECT_NE(finding->fix.find(text), std::string::npos) << text;
  if (expected.second) {
    for (const doctor::Subject& subject : report.subjects) {
      if (subject.findings.empty() || &subject.findings.front() != finding) continue;
      ASSERT_GE(subject.findings.size(), 2u);
      EXPECT_EQ(subject.findings[1].cause, *expected.second);
    }
  }
}

#ifndef _WIN32

namespace fs = std::filesystem;

constexpr unsigned kAlice = 4242;
constexpr unsigned kAliceGroup = 4242;
constexpr unsigned kDialout = 20;

// A machine as a tree. Nodes are plain files: the doctor reads only their
// owner, group and mode. The group "dialout" is 20 as on Debian when the
// test may give files away (root), else whatever group our files get.
class Machine {
 public:
  Machine() {
    Write("etc/passwd", "root:x:0:0::/root:/bin/sh\nalice:x:4242:4242::/home/alice:/bin/sh\n");
  }

  std::string Root() const { return tree_.Path().string(); }
  unsigned FileGroup() const { return geteuid() == 0 ? kDialout : getegid(); }

  void Write(const std::string& path, const std::string& text) const {
    fs::create_directories((tree_.Path() / path).parent_path());
    std::ofstream(tree_.Path() / path) << text;
  }
  void Link(const std::string& path, const std::string& target) const {
    fs::create_directories((tree_.Path() / path).parent_path());
    fs::create_symlink(target, tree_.Path() / path);
  }
  void Groups(const std::string& dialoutMembers) const {
    Write("etc/group", "root:x:0:\ndialout:x:" + std::to_string(FileGroup()) + ":" +
                           dialoutMembers + "\nalice:x:4242:\n");
  }
  // A USB device with one interface; tty empty: none made.
  void Bridge(const std::string& usb, const std::string& vendor, const std::string& product,
              const std::string& driver, const std::string& tty, const char* interfaceClass = "ff",
              const std::string& majorMinor = "188:0") const {
    const std::string dev = "sys/bus/usb/devices/" + usb;
    const std::string intf = dev + ":1.0";
    Write(dev + "/idVendor", vendor + "\n");
    Write(dev + "/idProduct", product + "\n");
    Write(intf + "/bInterfaceClass", std::string(interfaceClass) + "\n");
    Write(intf + "/bInterfaceSubClass", std::string(interfaceClass) == "02" ? "02\n" : "00\n");
    if (!driver.empty()) Link(intf + "/driver", "../../../../../../bus/usb/drivers/" + driver);
    if (tty.empty()) return;
    // usb-serial puts the port beside the interface, cdc_acm into tty/.
    Write(intf + (tty.starts_with("ttyACM") ? "/tty/" : "/") + tty + "/uevent", "");
    Write("sys/class/tty/" + tty + "/dev", majorMinor + "\n");
  }
  void Node(const std::string& device, unsigned mode) const {
    Write(device.substr(1), "");
    const std::string path = (tree_.Path() / device.substr(1)).string();
    if (geteuid() == 0) {
      EXPECT_EQ(chown(path.c_str(), 0, kDialout), 0);
    }
    chmod(path.c_str(), mode);
  }
  void Udev(const std::string& majorMinor, const std::string& lines) const {
    Write("run/udev/data/c" + majorMinor, lines);
  }
  void Process(int pid, const std::string& comm) const {
    Write("proc/" + std::to_string(pid) + "/comm", comm + "\n");
  }

 private:
  testing_support::TempFolder tree_;
};

struct LinuxCase {
  LinuxCase(const char* n, std::function<void(const Machine&)> l, int a,
            std::vector<doctor::PortDevice> p, Expected e, bool joined = false,
            std::optional<std::string> h = {})
      : name(n),
        lay(std::move(l)),
        asked(a),
        ports(std::move(p)),
        expected(std::move(e)),
        aliceJoinedThisSession(joined),
        held(std::move(h)) {}
  const char* name;
  std::function<void(const Machine&)> lay;
  int asked;
  std::vector<doctor::PortDevice> ports;
  Expected expected;
  bool aliceJoinedThisSession = false;
  std::optional<std::string> held;
};

void PrintTo(const LinuxCase& c, std::ostream* os) { *os << c.name; }

const std::string kBrlttyRule =
    "# Device: 1A86:7523\n"
    "# Baum [NLS eReader Zoomax (20 cells)]\n"
    "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", "
    "GOTO=\"brltty_usb_run\"\n";

// A CH340 on ttyUSB0 (COM5), its node crw-rw---- root:dialout.
void Ch340(const Machine& m) {
  m.Bridge("1-1.2", "1a86", "7523", "ch341", "ttyUSB0");
  m.Node("/dev/ttyUSB0", 0660);
}

const std::vector<LinuxCase>& LinuxCases() {
  using doctor::Cause;
  static const std::vector<LinuxCase> cases = {
      {"NotInTheNodesGroup",
       [](const Machine& m) { m.Groups(""), Ch340(m); },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kNoPermission,
        {"alice", "/dev/ttyUSB0", "-rw-rw----", ":dialout", "not in the group dialout"},
        {"sudo usermod -aG dialout $USER", "log out and in again", "install the reflint package"}}},
      {"JoinedTheGroupButNotLoggedInAgain",
       [](const Machine& m) { m.Groups("bob,alice"), Ch340(m); },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kNewLoginNeeded, {"you are in the group dialout"}, {"log out and in again"}}},
      {"InTheGroupThisSession",
       [](const Machine& m) { m.Groups("alice"), Ch340(m); },
       5,
       {{5, "/dev/ttyUSB0"}},
       {},
       true},
      {"RuleInstalledAfterThePlugIn",
       [](const Machine& m) {
         m.Groups(""), Ch340(m);
         m.Write("usr/lib/udev/rules.d/70-reflint.rules", doctor::UdevRuleText());
         m.Udev("188:0", "E:ID_MM_DEVICE_IGNORE=1\n");
       },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kReplugForRule,
        {"plugged in before the rule"},
        {"unplug the cable"},
        Cause::kNoPermission}},
      {"RuleAppliedButNotAtTheSeat",
       [](const Machine& m) {
         m.Groups(""), Ch340(m);
         m.Write("usr/lib/udev/rules.d/70-reflint.rules", doctor::UdevRuleText());
         m.Udev("188:0", "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\nQ:uaccess\n");
       },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kNoPermission, {"own screen"}, {"sudo usermod -aG dialout $USER"}}},
      {"RuleMaskedInEtc",
       [](const Machine& m) {
         m.Groups(""), Ch340(m);
         m.Write("usr/lib/udev/rules.d/70-reflint.rules", doctor::UdevRuleText());
         m.Link("etc/udev/rules.d/70-reflint.rules", "/dev/null");
       },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kNoPermission, {}, {"install the reflint package"}}},
      {"BrlttyClaimsTheBridge",
       [](const Machine& m) {
         m.Groups("");
         m.Bridge("1-1.2", "1a86", "7523", "usbfs", "");
         m.Write("usr/lib/udev/rules.d/85-brltty.rules", kBrlttyRule);
       },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kBrltty,
        {"the WCH CH340", "85-brltty.rules, line 3"},
        {"sudo systemctl mask brltty-udev.service", "plug the cable in again"}}},
      {"BrlttyMaskedAndNoDriverBound",
       [](const Machine& m) {
         m.Groups("");
         m.Bridge("3-2", "10c4", "ea60", "", "");
         m.Write("lib/udev/rules.d/85-brltty.rules",
                 "ENV{PRODUCT}==\"10c4/ea60/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"sk\"\n");
         m.Link("etc/systemd/system/brltty-udev.service", "/dev/null");
       },
       0,
       {},
       {Cause::kNoDriver, {"Silicon Labs CP210x"}, {"sudo modprobe cp210x"}}},
      {"ModemManagerProbesAnAcmPort",
       [](const Machine& m) {
         m.Groups("");
         m.Bridge("1-4", "2341", "0043", "cdc_acm", "ttyACM0", "02", "166:0");
         m.Node("/dev/ttyACM0", 0666);
         m.Udev("166:0", "E:ID_USB_DRIVER=cdc_acm\n");
         m.Process(1, "systemd");
         m.Process(812, "ModemManager");
       },
       11,
       {{11, "/dev/ttyACM0"}},
       {Cause::kModemManager,
        {"ModemManager runs", "/dev/ttyACM0"},
        {"sudo systemctl stop ModemManager"}}},
      {"ModemManagerTold",
       [](const Machine& m) {
         m.Groups("");
         m.Bridge("1-4", "2341", "0043", "cdc_acm", "ttyACM0", "02", "166:0");
         m.Node("/dev/ttyACM0", 0666);
         m.Udev("166:0", "E:ID_MM_DEVICE_IGNORE=1\n");
         m.Process(812, "ModemManager");
       },
       11,
       {{11, "/dev/ttyACM0"}},
       {}},
      {"HeldByATerminalProgram",
       [](const Machine& m) { m.Groups("alice"), Ch340(m); },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kHeld, {"picocom"}, {"quit picocom (or end it: kill 4410)"}},
       true,
       "held by process 4410 (picocom) through a UUCP lock file"},
      {"AskedPortMissingWhileTheBridgeIsAnother",
       [](const Machine& m) {
         m.Groups("alice");
         m.Bridge("1-1.2", "1a86", "7523", "ch341", "ttyUSB1", "ff", "188:1");
         m.Node("/dev/ttyUSB1", 0660);
       },
       5,
       {{5, "/dev/ttyUSB0"}, {6, "/dev/ttyUSB1"}},
       {Cause::kMissingPort, {"/dev/ttyUSB0 does not exist"}, {"COM6 (/dev/ttyUSB1"}},
       true},
      {"NoBridgeOnTheBus",
       [](const Machine& m) { m.Groups(""); },
       5,
       {{5, "/dev/ttyUSB0"}},
       {Cause::kMissingPort, {}, {"plug the remote's cable in"}}},
      {"BridgeWithoutAComNumber",
       [](const Machine& m) {
         m.Groups("alice");
         m.Bridge("1-3", "0403", "6001", "ftdi_sio", "ttyUSB6", "ff", "188:6");
         m.Node("/dev/ttyUSB6", 0660);
       },
       0,
       {},
       {Cause::kNoComNumber, {"/dev/ttyUSB6"}, {"ln -s /dev/ttyUSB6"}},
       true},
  };
  return cases;
}

class LinuxDoctorTest : public testing::TestWithParam<LinuxCase> {};

TEST_P(LinuxDoctorTest, NamesTheCauseAndTheFix) {
  const LinuxCase& c = GetParam();
  Machine machine;
  c.lay(machine);
  doctor::LinuxView view;
  view.root = machine.Root();
  view.user = {kAlice, "alice", kAliceGroup, {kAliceGroup}};
  if (c.aliceJoinedThisSession) view.user.sessionGroups.push_back(machine.FileGroup());
  view.heldBy = [&c](const std::string&) { return c.held; };
  Check(doctor::ExamineLinux(view, c.ports, c.asked), c.asked, c.expected);
}

INSTANTIATE_TEST_SUITE_P(States, LinuxDoctorTest, testing::ValuesIn(LinuxCases()),
                         [](const auto& info) { return std::string(info.param.name); });

#endif  // _WIN32

struct WindowsCase {
  const char* name;
  std::vector<doctor::UsbDeviceRecord> devices;
  std::vector<int> ports;  // what the system names
  std::vector<int> held;   // of those, opened by another program
  int asked;
  Expected expected;
};

void PrintTo(const WindowsCase& c, std::ostream* os) { *os << c.name; }

const doctor::UsbDeviceRecord kMouse{
    "USB\\VID_046D&PID_C077&REV_7200", {"USB\\Class_03"}, "USB Input Device", 28, ""};

const std::vector<WindowsCase>& WindowsCases() {
  using doctor::Cause;
  static const std::vector<WindowsCase> cases = {
      {"Ch340WithoutDriver",
       {kMouse, {"USB\\VID_1A86&PID_7523&REV_0264", {"USB\\Class_ff"}, "USB2.0-Serial", 28, ""}},
       {1},
       {},
       3,
       {Cause::kDriverMissing,
        {"WCH CH340 (1a86:7523)", "code 28"},
        {"CH341SER", "wch-ic.com", "plug the cable in again"}}},
      {"OnlyAMouseWithAProblem", {kMouse}, {1}, {}, 0, {}},
      {"Pl2303FailsToStart",
       {{"USB\\VID_067B&PID_2303&REV_0300", {}, "Prolific USB-to-Serial Comm Port", 10, "COM4"}},
       {},
       {},
       0,
       {Cause::kDriverFailed, {"code 10"}, {"Prolific", "PL2303"}}},
      {"Cp210xDisabled",
       {{"USB\\VID_10C4&PID_EA60&REV_0100", {}, "CP2102 USB to UART Bridge", 22, ""}},
       {},
       {},
       0,
       {Cause::kDisabled, {"code 22"}, {"Enable device"}}},
      {"FtdiWithoutItsComPort",
       {{"USB\\VID_0403&PID_6001&REV_0600", {}, "USB Serial Converter", 0, ""}},
       {},
       {},
       0,
       {Cause::kNoComPort, {"FTDI FT232R"}, {"Load VCP"}}},
      {"Cp210xPortOpenedElsewhere",
       {{"USB\\VID_10C4&PID_EA60&REV_0100", {}, "CP2102 USB to UART Bridge", 0, "COM4"}},
       {1, 4},
       {4},
       4,
       {Cause::kHeld, {"COM4 is opened by another program"}, {"close the other program"}}},
      {"CdcAcmCompositeOnItsPort",
       {{"USB\\VID_2341&PID_0043&REV_0001",
         {"USB\\COMPOSITE", "USB\\Class_02&SubClass_02&Prot_01"},
         "USB Composite Device",
         0,
         "COM7"}},
       {7},
       {},
       7,
       {}},
      {"AskedPortMissingWhileTheBridgeIsAnother",
       {{"USB\\VID_1A86&PID_55D4&REV_0442", {}, "USB-Enhanced-SERIAL CH9102", 0, "COM5"}},
       {5},
       {},
       3,
       {Cause::kMissingPort, {}, {"WCH CH9102 (1a86:55d4) is COM5"}}},
  };
  return cases;
}

class WindowsDoctorTest : public testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsDoctorTest, NamesTheCauseAndTheFix) {
  const WindowsCase& c = GetParam();
  const std::function<bool(int)> opens = [&c](int n) {
    return std::find(c.held.begin(), c.held.end(), n) == c.held.end();
  };
  Check(doctor::ExamineWindows(c.devices, c.ports, opens, c.asked), c.asked, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Answers, WindowsDoctorTest, testing::ValuesIn(WindowsCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
