#pragma once
// The USB-serial bridges a remote's cable is built on, once: the port doctor
// recognises them on the bus, and the Linux package's udev rule is made from
// the same rows (reflint-udev-rule, at build time).

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace doctor {

struct KnownBridge {
  // 0 and 0: the row of a class (CDC ACM), matched by its interface instead.
  std::uint16_t vendor;
  std::uint16_t product;
  const char* name;               // "WCH CH340"
  const char* linuxDriver;        // the kernel module that makes its tty
  const char* windowsDriver;      // what to install on Windows
  const char* windowsDriverFrom;  // from whom, and where
  // Our rule tells ModemManager to leave it alone. Not for a whole class:
  // mobile broadband modems are CDC ACM devices too.
  bool modemManagerIgnores;
};

// CDC ACM: interface class 2 (communications), subclass 2 (abstract control).
inline constexpr std::uint8_t kCdcClass = 0x02;
inline constexpr std::uint8_t kAcmSubclass = 0x02;

std::span<const KnownBridge> KnownBridges();

// The row of vendor:product; the CDC ACM row when none names it and the
// device has an ACM interface; nothing otherwise.
const KnownBridge* FindBridge(std::uint16_t vendor, std::uint16_t product, bool hasAcmInterface);

// "WCH CH340 (1a86:7523)".
std::string BridgeText(const KnownBridge& bridge, std::uint16_t vendor, std::uint16_t product);

// The udev rule file the Linux package installs, and its name: sorted
// before 73-seat-late.rules, where the uaccess tag is acted on.
inline constexpr const char* kUdevRuleName = REFLINT_UDEV_RULE_NAME;
std::string UdevRuleText();

}  // namespace doctor
