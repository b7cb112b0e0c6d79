#include "doctor/known_bridges.h"

#include <array>
#include <cstdio>

namespace doctor {
namespace {

constexpr const char* kFtdi = "FTDI's VCP driver";
constexpr const char* kFtdiFrom = "FTDI, https://ftdichip.com/drivers/vcp-drivers/";
constexpr const char* kSilabs = "the CP210x USB to UART Bridge VCP driver";
constexpr const char* kSilabsFrom =
    "Silicon Labs, https://www.silabs.com/developers/usb-to-uart-bridge-vcp-drivers";
constexpr const char* kCh341 = "WCH's CH341SER driver";
constexpr const char* kCh341From = "WCH, https://www.wch-ic.com/downloads/CH341SER_EXE.html";
constexpr const char* kCh343 = "WCH's CH343SER driver";
constexpr const char* kCh343From = "WCH, https://www.wch-ic.com/downloads/CH343SER_EXE.html";
constexpr const char* kProlific = "Prolific's PL2303 driver";
constexpr const char* kProlificFrom = "Prolific, https://www.prolific.com.tw";

constexpr std::array kBridges{
    KnownBridge{0x0403, 0x6001, "FTDI FT232R", "ftdi_sio", kFtdi, kFtdiFrom, true},
    KnownBridge{0x0403, 0x6010, "FTDI FT2232", "ftdi_sio", kFtdi, kFtdiFrom, true},
    KnownBridge{0x0403, 0x6011, "FTDI FT4232H", "ftdi_sio", kFtdi, kFtdiFrom, true},
    KnownBridge{0x0403, 0x6014, "FTDI FT232H", "ftdi_sio", kFtdi, kFtdiFrom, true},
    KnownBridge{0x0403, 0x6015, "FTDI FT-X", "ftdi_sio", kFtdi, kFtdiFrom, true},
    KnownBridge{0x10c4, 0xea60, "Silicon Labs CP210x", "cp210x", kSilabs, kSilabsFrom, true},
    KnownBridge{0x10c4, 0xea70, "Silicon Labs CP2105", "cp210x", kSilabs, kSilabsFrom, true},
    KnownBridge{0x10c4, 0xea71, "Silicon Labs CP2108", "cp210x", kSilabs, kSilabsFrom, true},
    KnownBridge{0x1a86, 0x7523, "WCH CH340", "ch341", kCh341, kCh341From, true},
    KnownBridge{0x1a86, 0x7522, "WCH CH340K", "ch341", kCh341, kCh341From, true},
    KnownBridge{0x1a86, 0x5523, "WCH CH341", "ch341", kCh341, kCh341From, true},
    KnownBridge{0x1a86, 0x55d4, "WCH CH9102", "cdc_acm", kCh343, kCh343From, true},
    KnownBridge{0x1a86, 0x55d3, "WCH CH343", "cdc_acm", kCh343, kCh343From, true},
    KnownBridge{0x067b, 0x2303, "Prolific PL2303", "pl2303", kProlific, kProlificFrom, true},
    KnownBridge{0x067b, 0x23a3, "Prolific PL2303GC", "pl2303", kProlific, kProlificFrom, true},
    KnownBridge{0x067b, 0x23c3, "Prolific PL2303GT", "pl2303", kProlific, kProlificFrom, true},
    KnownBridge{0x067b, 0x23d3, "Prolific PL2303GL", "pl2303", kProlific, kProlificFrom, true},
    KnownBridge{0, 0, "USB CDC ACM device", "cdc_acm",
                "the system's usbser driver (built into Windows 10 and later; older Windows "
                "needs an .inf file for the device)",
                "Microsoft, or the device's maker", false},
};

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

}  // namespace

std::span<const KnownBridge> KnownBridges() { return kBridges; }

const KnownBridge* FindBridge(std::uint16_t vendor, std::uint16_t product, bool hasAcmInterface) {
  const KnownBridge* classRow = nullptr;
  for (const KnownBridge& bridge : kBridges) {
    if (bridge.vendor == 0 && bridge.product == 0) {
      classRow = &bridge;
    } else if (bridge.vendor == vendor && bridge.product == product) {
      return &bridge;
    }
  }
  return hasAcmInterface ? classRow : nullptr;
}

std::string BridgeText(const KnownBridge& bridge, std::uint16_t vendor, std::uint16_t product) {
  return std::string(bridge.name) + " (" + Hex4(vendor) + ":" + Hex4(product) + ")";
}

std::string UdevRuleText() {
  std::string text =
      "# Reflint: the USB-serial bridges of remote control cables.\n"
      "# The person at this computer's own screen and keyboard gets their serial\n"
      "# ports (uaccess; 73-seat-late.rules acts on it), without the dialout group\n"
      "# and a new login, and ModemManager does not probe them for a modem.\n"
      "# Made from the program's table of known bridges; do not edit.\n"
      "ACTION==\"remove\", GOTO=\"reflint_end\"\n"
      "SUBSYSTEM!=\"tty\", GOTO=\"reflint_end\"\n";
  for (const KnownBridge& bridge : kBridges) {
    text += std::string("# ") + bridge.name + "\n";
    if (bridge.vendor == 0 && bridge.product == 0) {
      text += "SUBSYSTEMS==\"usb\", ATTRS{bInterfaceClass}==\"" + Hex4(kCdcClass).substr(2) +
              "\", ATTRS{bInterfaceSubClass}==\"" + Hex4(kAcmSubclass).substr(2) +
              "\", TAG+=\"uaccess\"";
    } else {
      text += "SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"" + Hex4(bridge.vendor) +
              "\", ATTRS{idProduct}==\"" + Hex4(bridge.product) + "\", TAG+=\"uaccess\"";
    }
    if (bridge.modemManagerIgnores) text += ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
    text += "\n";
  }
  text += "LABEL=\"reflint_end\"\n";
  return text;
}

}  // namespace doctor
