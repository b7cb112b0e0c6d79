#pragma once
// The device library as the program sees it: the 23 functions of Kestra2G,
// per-family ones addressed by DeviceFamily, and the optional revert. One implementation loads the
// real library at run time; tests use a fake. Implementations are called
// from several threads at once (a download on a worker while the
// user-interface thread polls job name and progress).

#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "core/device_family.h"
#include "platform/error.h"

inline constexpr int kInformationBufferSize = 255;
inline constexpr int kJobNameBufferSize = 256;
// Leading argument of the information queries.
inline constexpr std::int32_t kInformationQueryMode = -1;

class DeviceLibrary {
 public:
  virtual ~DeviceLibrary() = default;

  virtual unsigned char GetBootInformation(DeviceFamily family, std::int32_t mode, char* info,
                                           std::int32_t port) = 0;
  virtual unsigned char GetProductInformation(DeviceFamily family, std::int32_t mode, char* info,
                                              std::int32_t port) = 0;
  virtual unsigned char GetApplicationInformation(DeviceFamily family, std::int32_t mode,
                                                  char* info, std::int32_t port) = 0;
  virtual unsigned char GetJobName(DeviceFamily family, char* jobName) = 0;
  virtual std::int32_t GetProgress(DeviceFamily family) = 0;

  virtual unsigned char InitCom(std::int32_t port, std::int32_t code) = 0;
  virtual unsigned char CatchBoot(std::int32_t port, std::int32_t code) = 0;
  virtual unsigned char DownloadMOTCF(const char* firmwarePath, std::int32_t port,
                                      std::int32_t code) = 0;

  // Beyond the 23: our library's Kestra2G_Revert (Kestra2GRevert.h), which
  // the maker's library lacks. `previous` holds kInformationBufferSize bytes.
  virtual bool CanRevert() const { return false; }
  // apply false: only tell the previous image's version.
  virtual unsigned char Revert(std::int32_t /*port*/, std::int32_t /*code*/, bool /*apply*/,
                               char* /*previous*/) {
    return 0;
  }
};

// Why the device library is not there: the text the user is shown, and the
// reason for the support log.
struct LibraryUnavailable {
  std::string userText;
  platform::Error error;
};

using LibraryResult = std::expected<std::shared_ptr<DeviceLibrary>, LibraryUnavailable>;
