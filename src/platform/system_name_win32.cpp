#include <windows.h>

#include "platform/system_name.h"

namespace platform {

std::string SystemDescription() {
  // GetVersionEx reports what the manifest admits to; ntdll tells the truth.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersionFn = const char*(CDECL*)();
  std::string text = "Windows";
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll != nullptr) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (getVersion != nullptr && getVersion(&info) == 0) {
      text.append(" ").append(std::to_string(info.dwMajorVersion));
      text.append(".").append(std::to_string(info.dwMinorVersion));
      text.append(".").append(std::to_string(info.dwBuildNumber));
    }
    auto wineVersion = reinterpret_cast<WineVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (wineVersion != nullptr) text.append(" (wine ").append(wineVersion()).append(")");
  }
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  text += system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? " x64" : " x86";
  return text;
}

}  // namespace platform
