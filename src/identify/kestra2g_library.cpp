#include "identify/kestra2g_library.h"

#include <array>
#include <utility>

#include "core/user_texts.h"
#include "kestra2g/include/Kestra2G.h"
#include "kestra2g/include/Kestra2GRevert.h"
#include "platform/dynamic_library.h"
#include "platform/path_text.h"

namespace {

// The header's own function types: pointers of any other type would not
// compile where the convention matters (32-bit x86).
using InformationFn = K2G_InformationFunction*;
using JobNameFn = K2G_JobNameFunction*;
using ProgressFn = K2G_ProgressFunction*;
using PortCodeFn = K2G_PortCodeFunction*;
using DownloadFn = K2G_DownloadFunction*;
using RevertFn = K2G_RevertFunction*;

struct FamilyFunctions {
  InformationFn getBootInformation = nullptr;
  InformationFn getProductInformation = nullptr;
  InformationFn getApplicationInformation = nullptr;
  JobNameFn getJobName = nullptr;
  ProgressFn getProgress = nullptr;
};

class Kestra2GLibrary final : public DeviceLibrary {
 public:
  Kestra2GLibrary(std::unique_ptr<platform::DynamicLibrary> library,
                  const std::array<FamilyFunctions, kFamilyCount>& families, PortCodeFn initCom,
                  PortCodeFn catchBoot, DownloadFn download, RevertFn revert)
      : library_(std::move(library)),
        families_(families),
        initCom_(initCom),
        catchBoot_(catchBoot),
        download_(download),
        revert_(revert) {}

  unsigned char GetBootInformation(DeviceFamily family, std::int32_t mode, char* info,
                                   std::int32_t port) override {
    return Of(family).getBootInformation(mode, info, port);
  }
  unsigned char GetProductInformation(DeviceFamily family, std::int32_t mode, char* info,
                                      std::int32_t port) override {
    return Of(family).getProductInformation(mode, info, port);
  }
  unsigned char GetApplicationInformation(DeviceFamily family, std::int32_t mode, char* info,
                                          std::int32_t port) override {
    return Of(family).getApplicationInformation(mode, info, port);
  }
  unsigned char GetJobName(DeviceFamily family, char* jobName) override {
    return Of(family).getJobName(jobName);
  }
  std::int32_t GetProgress(DeviceFamily family) override { return Of(family).getProgress(); }

  unsigned char InitCom(std::int32_t port, std::int32_t code) override {
    return initCom_(port, code);
  }
  unsigned char CatchBoot(std::int32_t port, std::int32_t code) override {
    return catchBoot_(port, code);
  }
  unsigned char DownloadMOTCF(const char* firmwarePath, std::int32_t port,
                              std::int32_t code) override {
    return download_(firmwarePath, port, code);
  }
  bool CanRevert() const override { return revert_ != nullptr; }
  unsigned char Revert(std::int32_t port, std::int32_t code, bool apply, char* previous) override {
    if (revert_ == nullptr) return 0;
    return revert_(port, code, apply ? K2G_REVERT_APPLY : K2G_REVERT_TELL, previous);
  }

 private:
  const FamilyFunctions& Of(DeviceFamily family) const { return families_[FamilyIndex(family)]; }

  std::unique_ptr<platform::DynamicLibrary> library_;  // keeps the pointers below valid
  std::array<FamilyFunctions, kFamilyCount> families_;
  PortCodeFn initCom_;
  PortCodeFn catchBoot_;
  DownloadFn download_;
  RevertFn revert_;  // null: the maker's library, which cannot revert
};

std::string CannotLoadText(const std::string& fileName) {
  return UserTextWith(UserText::LibraryNotLoaded, fileName);
}

// Looks up every function; remembers the first one that is missing.
class FunctionFinder {
 public:
  explicit FunctionFinder(const platform::DynamicLibrary& library) : library_(library) {}

  template <typename Fn>
  void Find(const std::string& name, Fn& function) {
    void* address = library_.FindSymbol(name);
    if (address == nullptr) {
      if (missing_.empty()) missing_ = name;
      return;
    }
    function = reinterpret_cast<Fn>(address);
  }

  const std::string& FirstMissing() const { return missing_; }

 private:
  const platform::DynamicLibrary& library_;
  std::string missing_;
};

}  // namespace

std::string DeviceLibraryFileName() { return platform::SharedLibraryFileName("Kestra2G"); }

LibraryResult LoadDeviceLibrary(const std::string& folder) {
  const std::string fileName = DeviceLibraryFileName();
  // Only the program's own folder: a library of the same name in the current
  // folder is someone else's.
  if (folder.empty()) {
    return std::unexpected(LibraryUnavailable{
        CannotLoadText(fileName) + std::string(UserTextOf(UserText::UnknownFolder)),
        platform::Refusal(fileName, "load", "the program's own folder is not known")});
  }
  auto loaded = platform::DynamicLibrary::Load(platform::JoinPath(folder, fileName));
  if (!loaded) {
    return std::unexpected(LibraryUnavailable{
        CannotLoadText(fileName) + std::string(UserTextOf(UserText::ReinstallProgram)),
        std::move(loaded.error())});
  }
  std::unique_ptr<platform::DynamicLibrary> library = std::move(*loaded);

  FunctionFinder finder(*library);
  std::array<FamilyFunctions, kFamilyCount> families{};
  for (DeviceFamily family : kExaminationOrder) {
    const std::string prefix(Family(family).libraryPrefix);
    FamilyFunctions& f = families[FamilyIndex(family)];
    finder.Find(prefix + "GetBootInformation", f.getBootInformation);
    finder.Find(prefix + "GetProductInformation", f.getProductInformation);
    finder.Find(prefix + "GetApplicationInformation", f.getApplicationInformation);
    finder.Find(prefix + "GetJobName", f.getJobName);
    finder.Find(prefix + "GetProgress", f.getProgress);
  }
  PortCodeFn initCom = nullptr;
  PortCodeFn catchBoot = nullptr;
  DownloadFn download = nullptr;
  finder.Find("Qarnel_InitCom", initCom);
  finder.Find("Qarnel_CatchBoot", catchBoot);
  finder.Find("Qarnel_DownloadMOTCF", download);

  if (!finder.FirstMissing().empty()) {
    return std::unexpected(LibraryUnavailable{
        CannotLoadText(fileName) +
            UserTextWith(UserText::LibraryLacksFunction, finder.FirstMissing()) +
            std::string(UserTextOf(UserText::ReinstallProgram)),
        platform::Refusal(fileName, "look up", "lacks " + finder.FirstMissing())});
  }
  // Not one of the 23: a library without it (the maker's) still loads.
  RevertFn revert = nullptr;
  FunctionFinder(*library).Find("Kestra2G_Revert", revert);
  return std::make_shared<Kestra2GLibrary>(std::move(library), families, initCom, catchBoot,
                                           download, revert);
}
