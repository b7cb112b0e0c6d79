#include "identify/call_log_library.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace {

std::string Prefixed(DeviceFamily family, const char* function) {
  return std::string(Family(family).libraryPrefix) + function;
}

class CallLogLibrary final : public DeviceLibrary {
 public:
  CallLogLibrary(std::shared_ptr<DeviceLibrary> library, platform::SupportLog& log)
      : library_(std::move(library)), log_(log) {}

  unsigned char GetBootInformation(DeviceFamily family, std::int32_t mode, char* info,
                                   std::int32_t port) override {
    return Information(Prefixed(family, "GetBootInformation"), mode, info, port,
                       [&] { return library_->GetBootInformation(family, mode, info, port); });
  }
  unsigned char GetProductInformation(DeviceFamily family, std::int32_t mode, char* info,
                                      std::int32_t port) override {
    return Information(Prefixed(family, "GetProductInformation"), mode, info, port,
                       [&] { return library_->GetProductInformation(family, mode, info, port); });
  }
  unsigned char GetApplicationInformation(DeviceFamily family, std::int32_t mode, char* info,
                                          std::int32_t port) override {
    return Information(Prefixed(family, "GetApplicationInformation"), mode, info, port, [&] {
      return library_->GetApplicationInformation(family, mode, info, port);
    });
  }

  unsigned char GetJobName(DeviceFamily family, char* jobName) override {
    const unsigned char result = library_->GetJobName(family, jobName);
    if (jobName != nullptr) {
      const std::string name(jobName, strnlen(jobName, kJobNameBufferSize));
      std::lock_guard lock(mutex_);
      if (name != lastJobName_) {
        lastJobName_ = name;
        log_.Write(Prefixed(family, "GetJobName") + ": \"" + name + "\"");
      }
    }
    return result;
  }

  std::int32_t GetProgress(DeviceFamily family) override {
    const std::int32_t progress = library_->GetProgress(family);
    std::lock_guard lock(mutex_);
    // Each tenth once; a smaller value is a new download.
    if (progress / 10 != lastTenth_ || progress < lastProgress_) {
      lastTenth_ = progress / 10;
      log_.Write(Prefixed(family, "GetProgress") + ": " + std::to_string(progress) + " %");
    }
    lastProgress_ = progress;
    return progress;
  }

  unsigned char InitCom(std::int32_t port, std::int32_t code) override {
    return Timed(
        "Qarnel_InitCom(port " + std::to_string(port) + ", code " + std::to_string(code) + ")", {},
        [&] { return library_->InitCom(port, code); });
  }
  unsigned char CatchBoot(std::int32_t port, std::int32_t code) override {
    return Timed(
        "Qarnel_CatchBoot(port " + std::to_string(port) + ", code " + std::to_string(code) + ")",
        {}, [&] { return library_->CatchBoot(port, code); });
  }
  unsigned char DownloadMOTCF(const char* firmwarePath, std::int32_t port,
                              std::int32_t code) override {
    const std::string name = platform::LoggedFileName(firmwarePath != nullptr ? firmwarePath : "");
    log_.Write("Qarnel_DownloadMOTCF(" + name + ", port " + std::to_string(port) + ", code " +
               std::to_string(code) + ") begins");
    {
      std::lock_guard lock(mutex_);
      lastJobName_.clear();
      lastTenth_ = -1;
    }
    return Timed("Qarnel_DownloadMOTCF(" + name + ", port " + std::to_string(port) + ", code " +
                     std::to_string(code) + ")",
                 {}, [&] { return library_->DownloadMOTCF(firmwarePath, port, code); });
  }
  bool CanRevert() const override { return library_->CanRevert(); }
  unsigned char Revert(std::int32_t port, std::int32_t code, bool apply, char* previous) override {
    std::string told;  // read by Timed after the call
    return Timed("Kestra2G_Revert(port " + std::to_string(port) + ", code " + std::to_string(code) +
                     ", " + (apply ? "apply" : "tell") + ")",
                 told, [&] {
                   const unsigned char r = library_->Revert(port, code, apply, previous);
                   if (previous != nullptr && *previous != '\0')
                     told = " \"" +
                            std::string(previous, strnlen(previous, kInformationBufferSize)) + "\"";
                   return r;
                 });
  }

 private:
  // One line per call: "call = result extra, N ms"; `extra` is read after
  // the call. A poll that answers alike again and again leaves one line and
  // a count.
  template <typename F>
  unsigned char Timed(const std::string& call, const std::string& extra, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    const unsigned char result = f();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const std::string outcome = call + " = " + std::to_string(result) + extra;
    log_.Write(outcome + ", " + std::to_string(ms) + " ms", outcome);
    return result;
  }

  template <typename F>
  unsigned char Information(const std::string& function, std::int32_t mode, char* info,
                            std::int32_t port, F&& f) {
    const std::string call =
        function + "(" + std::to_string(mode) + ", port " + std::to_string(port) + ")";
    // Filled by the call, read by Timed after it: the text the device gave.
    std::string text;
    return Timed(call, text, [&] {
      const unsigned char r = f();
      if (info != nullptr && *info != '\0') {
        text = " \"" + std::string(info, strnlen(info, kInformationBufferSize)) + "\"";
      }
      return r;
    });
  }

  std::shared_ptr<DeviceLibrary> library_;
  platform::SupportLog& log_;
  std::mutex mutex_;
  std::string lastJobName_;
  std::int32_t lastTenth_ = -1;
  std::int32_t lastProgress_ = 0;
};

}  // namespace

std::shared_ptr<DeviceLibrary> WithCallLog(std::shared_ptr<DeviceLibrary> library,
                                           platform::SupportLog& log) {
  if (!library) return nullptr;
  return std::make_shared<CallLogLibrary>(std::move(library), log);
}
