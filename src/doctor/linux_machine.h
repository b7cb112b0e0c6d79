#pragma once
// How the port doctor reads a Linux machine. Everything comes from a root
// folder laid out as the system lays it out: sys/bus/usb/devices and
// sys/class/tty (the bus and the ttys), dev/ (the nodes' owner, group and
// mode), etc/group, proc/*/comm (what runs), run/udev/data (what the udev
// rules made of a device) and the udev rules folders. Live it is "/"; tests
// build a tree of their own. Linux only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "doctor/known_bridges.h"

namespace doctor {

// The person running the program.
struct LinuxUser {
  unsigned uid = 0;
  std::string name;
  unsigned primaryGroup = 0;
  std::vector<unsigned> sessionGroups;  // what this login's processes carry
};

struct LinuxView {
  std::string root = "/";
  LinuxUser user;
  // How another program holds a device (port_in_use.h); nothing when none.
  std::function<std::optional<std::string>(const std::string& device)> heldBy;
  // Whether the user may open a node for reading and writing. Empty: judged
  // from its owner, group and mode (live: access(2), which also sees the
  // ACL that uaccess sets).
  std::function<bool(const std::string& path)> mayOpen;
};

// The running system and user.
LinuxView LiveLinuxView();

// One interface of a USB device, as sysfs shows it.
struct UsbInterface {
  std::string name;  // "1-1.2:1.0"
  std::uint8_t interfaceClass = 0;
  std::uint8_t interfaceSubclass = 0;
  std::string driver;             // "ch341", "usbfs"; empty when none is bound
  std::vector<std::string> ttys;  // "ttyUSB0"
};

// A USB device that is one of the known bridges.
struct UsbBridge {
  std::string usbName;  // "1-1.2"
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  const KnownBridge* known = nullptr;
  std::vector<UsbInterface> interfaces;
};

std::vector<UsbBridge> ReadUsbBridges(const std::string& root);

// A device node's owner, group and mode; nothing when it does not exist.
struct Node {
  unsigned mode = 0;  // st_mode
  unsigned uid = 0;
  unsigned gid = 0;
};
std::optional<Node> ReadNode(const std::string& path);

// etc/group: a group's name, and whether a user is listed in it.
struct Groups {
  struct Group {
    std::string name;
    unsigned gid = 0;
    std::vector<std::string> members;
  };
  std::vector<Group> groups;
  std::string NameOf(unsigned gid) const;  // "group 1234" when unnamed
  bool Lists(unsigned gid, const std::string& user) const;
};
Groups ReadGroups(const std::string& root);
// etc/passwd: the name of a user; "root" for 0, the number when unnamed.
std::string UserName(const std::string& root, unsigned uid);

// The properties and tags udev keeps for a tty ("ID_MM_DEVICE_IGNORE=1",
// "uaccess"); both empty when udev has nothing on it.
struct UdevRecord {
  bool known = false;  // udev has a record of the device
  std::vector<std::string> properties;
  std::vector<std::string> tags;
  bool Has(const std::string& property) const;
  bool Tagged(const std::string& tag) const;
};
UdevRecord ReadUdevRecord(const std::string& root, const std::string& tty);

// Whether a process of this name runs.
bool ProcessRunning(const std::string& root, const std::string& comm);

// Where brltty's udev rules claim a vendor:product as a braille display:
// "85-brltty.rules, line 123"; nothing when they do not.
std::optional<std::string> BrlttyClaim(const std::string& root, std::uint16_t vendor,
                                       std::uint16_t product);
// brltty-udev.service masked (linked to /dev/null in etc/systemd/system).
bool BrlttyMasked(const std::string& root);

// Whether the package's rule (kUdevRuleName) is installed and not masked.
bool OurRuleInstalled(const std::string& root);

// root + path ("/" + "/dev/ttyUSB0" is "/dev/ttyUSB0").
std::string UnderRoot(const std::string& root, const std::string& path);

}  // namespace doctor
