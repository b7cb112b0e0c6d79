#include "identify/library_results.h"

namespace {

constexpr unsigned char kAnswered = 1;

bool Succeeded(unsigned char result) { return result != 0; }

}  // namespace

bool QueryInformation(DeviceLibrary& library, DeviceFamily family, InformationKind kind,
                      InformationBuffer& buffer, std::int32_t port) {
  char* text = buffer.Cleared();
  switch (kind) {
    case InformationKind::kBoot:
      return library.GetBootInformation(family, kInformationQueryMode, text, port) == kAnswered;
    case InformationKind::kProduct:
      return library.GetProductInformation(family, kInformationQueryMode, text, port) == kAnswered;
    case InformationKind::kApplication:
      return library.GetApplicationInformation(family, kInformationQueryMode, text, port) ==
             kAnswered;
  }
  return false;
}

bool DeviceReady(DeviceLibrary& library, std::int32_t port, std::int32_t code) {
  return Succeeded(library.InitCom(port, code));
}

bool BootLoaderCaught(DeviceLibrary& library, std::int32_t port, std::int32_t code) {
  return Succeeded(library.CatchBoot(port, code));
}

bool FirmwareDownloaded(DeviceLibrary& library, const std::string& firmwarePath, std::int32_t port,
                        std::int32_t code) {
  return Succeeded(library.DownloadMOTCF(firmwarePath.c_str(), port, code));
}
