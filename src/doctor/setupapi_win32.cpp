// The USB devices present, as SetupAPI and the configuration manager list
// them; an interface or port below a device adds its ids, its problem and
// its COM port to that device.
#include <windows.h>
// After windows.h.
#include <cfgmgr32.h>
#include <setupapi.h>

#include "doctor/windows_doctor.h"

namespace doctor {
namespace {

// REG_MULTI_SZ: strings one after another, an empty one at the end.
std::vector<std::string> MultiText(const std::vector<char>& bytes) {
  std::vector<std::string> texts;
  for (std::size_t at = 0; at < bytes.size() && bytes[at] != '\0';) {
    std::string text(&bytes[at]);
    at += text.size() + 1;
    texts.push_back(std::move(text));
  }
  return texts;
}

std::vector<char> Property(DEVINST node, ULONG property) {
  ULONG size = 0;
  ULONG type = 0;
  CM_Get_DevNode_Registry_PropertyA(node, property, &type, nullptr, &size, 0);
  std::vector<char> bytes(size + 2, '\0');
  if (size == 0 || CM_Get_DevNode_Registry_PropertyA(node, property, &type, bytes.data(), &size,
                                                     0) != CR_SUCCESS)
    return {};
  return bytes;
}

unsigned Problem(DEVINST node) {
  ULONG status = 0;
  ULONG problem = 0;
  if (CM_Get_DevNode_Status(&status, &problem, node, 0) != CR_SUCCESS) return 0;
  return (status & DN_HAS_PROBLEM) != 0 ? static_cast<unsigned>(problem) : 0;
}

// The "PortName" a serial driver writes into its device's hardware key.
std::string PortName(DEVINST node) {
  HKEY key = nullptr;
  if (CM_Open_DevNode_Key(node, KEY_READ, 0, RegDisposition_OpenExisting, &key,
                          CM_REGISTRY_HARDWARE) != CR_SUCCESS)
    return {};
  char name[32] = "";
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  const LSTATUS read =
      RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && type == REG_SZ ? std::string(name) : std::string();
}

// The device's own answers and those of its interfaces and ports, a few
// levels down (a composite device, its interface, the port below).
void Gather(DEVINST node, int depth, UsbDeviceRecord& record) {
  for (std::string& id : MultiText(Property(node, CM_DRP_COMPATIBLEIDS)))
    record.compatibleIds.push_back(std::move(id));
  if (record.problem == 0) record.problem = Problem(node);
  if (record.portName.empty()) record.portName = PortName(node);
  if (depth >= 3) return;
  DEVINST child = 0;
  for (CONFIGRET r = CM_Get_Child(&child, node, 0); r == CR_SUCCESS;
       r = CM_Get_Sibling(&child, child, 0))
    Gather(child, depth + 1, record);
}

}  // namespace

std::vector<UsbDeviceRecord> ReadUsbDevices() {
  std::vector<UsbDeviceRecord> records;
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return records;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
    char instance[512] = "";
    if (!SetupDiGetDeviceInstanceIdA(set, &info, instance, sizeof instance, nullptr)) continue;
    // An interface of a composite device is read with its device.
    if (std::string(instance).find("&MI_") != std::string::npos) continue;
    const std::vector<std::string> hardwareIds =
        MultiText(Property(info.DevInst, CM_DRP_HARDWAREID));
    if (hardwareIds.empty()) continue;
    UsbDeviceRecord record;
    record.hardwareId = hardwareIds.front();
    const std::vector<char> description = Property(info.DevInst, CM_DRP_DEVICEDESC);
    if (!description.empty()) record.description = description.data();
    Gather(info.DevInst, 0, record);
    records.push_back(std::move(record));
  }
  SetupDiDestroyDeviceInfoList(set);
  return records;
}

}  // namespace doctor
