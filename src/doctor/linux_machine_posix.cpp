#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "doctor/linux_machine.h"
#include "platform/port_in_use.h"

namespace doctor {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// sysfs writes ids and classes as hex without "0x".
template <typename T>
T Hex(const std::string& text) {
  unsigned value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return static_cast<T>(value);
}

std::vector<std::string> SortedNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

UsbInterface ReadInterface(const fs::path& folder) {
  UsbInterface interface;
  interface.name = folder.filename().string();
  interface.interfaceClass = Hex<std::uint8_t>(FirstLine(folder / "bInterfaceClass"));
  interface.interfaceSubclass = Hex<std::uint8_t>(FirstLine(folder / "bInterfaceSubClass"));
  std::error_code error;
  const fs::path driver = fs::read_symlink(folder / "driver", error);
  if (!error) interface.driver = driver.filename().string();
  // A USB-serial driver puts ttyUSBn beside the interface, cdc_acm puts
  // ttyACMn into its tty/ folder.
  for (const std::string& name : SortedNames(folder))
    if (name.starts_with("tty") && name != "tty") interface.ttys.push_back(name);
  for (const std::string& name : SortedNames(folder / "tty")) interface.ttys.push_back(name);
  return interface;
}

// udev's rule values are patterns; the ids in them are plain hex.
std::optional<std::string> Value(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key + "==\"");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t begin = at + key.size() + 3;
  const std::size_t end = line.find('"', begin);
  if (end == std::string::npos) return std::nullopt;
  std::string value = line.substr(begin, end - begin);
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return value;
}

bool ClaimsIds(const std::string& line, const std::string& vendor, const std::string& product) {
  // ENV{PRODUCT}=="1a86/7523/*" (the kernel's PRODUCT has no leading zeros).
  if (const auto value = Value(line, "ENV{PRODUCT}")) {
    const auto strip = [](const std::string& hex) {
      const std::size_t first = hex.find_first_not_of('0');
      return first == std::string::npos ? std::string("0") : hex.substr(first);
    };
    const std::string wanted = strip(vendor) + "/" + strip(product) + "/";
    if (value->starts_with(wanted)) return true;
  }
  for (const char* prefix : {"ATTRS", "SYSFS", "ATTR"}) {
    const auto v = Value(line, std::string(prefix) + "{idVendor}");
    const auto p = Value(line, std::string(prefix) + "{idProduct}");
    if (v && p && *v == vendor && *p == product) return true;
  }
  return false;
}

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

// The rules folders, most important first: a file in an earlier one hides
// a file of the same name in a later one.
constexpr const char* kRuleFolders[] = {"etc/udev/rules.d", "run/udev/rules.d",
                                        "usr/lib/udev/rules.d", "lib/udev/rules.d"};

// The file udev reads under this name; nothing when none is, or it is
// masked (a link to /dev/null, or empty).
std::optional<fs::path> EffectiveRule(const std::string& root, const std::string& name) {
  for (const char* folder : kRuleFolders) {
    const fs::path path = fs::path(root) / folder / name;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) continue;
    const fs::path target = fs::read_symlink(path, error);
    if (!error && target == "/dev/null") return std::nullopt;
    if (fs::is_regular_file(path, error) && fs::file_size(path, error) == 0) return std::nullopt;
    return path;
  }
  return std::nullopt;
}

}  // namespace

std::string UnderRoot(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  return (fs::path(root) / fs::path(path).relative_path()).string();
}

LinuxView LiveLinuxView() {
  LinuxView view;
  view.user.uid = getuid();
  view.user.primaryGroup = getgid();
  if (const passwd* entry = getpwuid(getuid())) {
    view.user.name = entry->pw_name;
    view.user.primaryGroup = entry->pw_gid;
  }
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(count > 0 ? count : 0);
  if (count > 0 && getgroups(count, groups.data()) == count)
    view.user.sessionGroups.assign(groups.begin(), groups.end());
  view.user.sessionGroups.push_back(getgid());
  view.heldBy = [](const std::string& device) { return platform::DeviceHeldElsewhere(device); };
  view.mayOpen = [](const std::string& path) { return access(path.c_str(), R_OK | W_OK) == 0; };
  return view;
}

std::vector<UsbBridge> ReadUsbBridges(const std::string& root) {
  const fs::path devices = fs::path(root) / "sys/bus/usb/devices";
  const std::vector<std::string> names = SortedNames(devices);
  std::vector<UsbBridge> bridges;
  for (const std::string& name : names) {
    // Interfaces are "1-1.2:1.0"; root hubs "usb1" are no bridges.
    if (name.find(':') != std::string::npos || name.starts_with("usb")) continue;
    const fs::path folder = devices / name;
    const std::string vendor = FirstLine(folder / "idVendor");
    if (vendor.empty()) continue;
    UsbBridge bridge;
    bridge.usbName = name;
    bridge.vendor = Hex<std::uint16_t>(vendor);
    bridge.product = Hex<std::uint16_t>(FirstLine(folder / "idProduct"));
    bool acm = false;
    for (const std::string& other : names) {
      if (!other.starts_with(name + ":")) continue;
      bridge.interfaces.push_back(ReadInterface(devices / other));
      const UsbInterface& added = bridge.interfaces.back();
      acm = acm || (added.interfaceClass == kCdcClass && added.interfaceSubclass == kAcmSubclass);
    }
    bridge.known = FindBridge(bridge.vendor, bridge.product, acm);
    if (bridge.known != nullptr) bridges.push_back(std::move(bridge));
  }
  return bridges;
}

std::optional<Node> ReadNode(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return Node{st.st_mode, st.st_uid, st.st_gid};
}

std::string Groups::NameOf(unsigned gid) const {
  for (const Group& group : groups)
    if (group.gid == gid) return group.name;
  return "group " + std::to_string(gid);
}

bool Groups::Lists(unsigned gid, const std::string& user) const {
  for (const Group& group : groups)
    if (group.gid == gid && std::ranges::find(group.members, user) != group.members.end())
      return true;
  return false;
}

Groups ReadGroups(const std::string& root) {
  Groups result;
  std::ifstream in(fs::path(root) / "etc/group");
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ':');) fields.push_back(field);
    if (fields.size() < 3) continue;
    Groups::Group group{fields[0], 0, {}};
    std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), group.gid);
    if (fields.size() > 3) {
      std::stringstream members(fields[3]);
      for (std::string member; std::getline(members, member, ',');) group.members.push_back(member);
    }
    result.groups.push_back(std::move(group));
  }
  return result;
}

std::string UserName(const std::string& root, unsigned uid) {
  std::ifstream in(fs::path(root) / "etc/passwd");
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    const std::size_t third = line.find(':', second + 1);
    if (third == std::string::npos) continue;
    if (line.substr(second + 1, third - second - 1) == std::to_string(uid))
      return line.substr(0, first);
  }
  return uid == 0 ? "root" : std::to_string(uid);
}

bool UdevRecord::Has(const std::string& property) const {
  return std::ranges::find(properties, property) != properties.end();
}

bool UdevRecord::Tagged(const std::string& tag) const {
  return std::ranges::find(tags, tag) != tags.end();
}

UdevRecord ReadUdevRecord(const std::string& root, const std::string& tty) {
  UdevRecord record;
  const std::string numbers = FirstLine(fs::path(root) / "sys/class/tty" / tty / "dev");
  if (numbers.empty()) return record;
  std::ifstream in(fs::path(root) / "run/udev/data" / ("c" + numbers));
  record.known = in.is_open();
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("E:")) record.properties.push_back(line.substr(2));
    // G: the device's tags, Q: its current ones (newer udev writes both).
    if (line.starts_with("G:") || line.starts_with("Q:")) record.tags.push_back(line.substr(2));
  }
  return record;
}

bool ProcessRunning(const std::string& root, const std::string& comm) {
  const fs::path proc = fs::path(root) / "proc";
  for (const std::string& name : SortedNames(proc)) {
    if (name.empty() || !std::ranges::all_of(name, [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    if (FirstLine(proc / name / "comm") == comm) return true;
  }
  return false;
}

std::optional<std::string> BrlttyClaim(const std::string& root, std::uint16_t vendor,
                                       std::uint16_t product) {
  std::vector<std::string> seen;
  for (const char* folder : kRuleFolders) {
    for (const std::string& name : SortedNames(fs::path(root) / folder)) {
      if (name.find("brltty") == std::string::npos || !name.ends_with(".rules")) continue;
      if (std::ranges::find(seen, name) != seen.end()) continue;
      seen.push_back(name);
      const std::optional<fs::path> path = EffectiveRule(root, name);
      if (!path) continue;
      std::ifstream in(*path);
      int number = 0;
      for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.starts_with("#")) continue;
        if (ClaimsIds(line, Hex4(vendor), Hex4(product)))
          return name + ", line " + std::to_string(number);
      }
    }
  }
  return std::nullopt;
}

bool BrlttyMasked(const std::string& root) {
  std::error_code error;
  const fs::path target =
      fs::read_symlink(fs::path(root) / "etc/systemd/system/brltty-udev.service", error);
  return !error && target == "/dev/null";
}

bool OurRuleInstalled(const std::string& root) {
  return EffectiveRule(root, kUdevRuleName).has_value();
}

}  // namespace doctor
