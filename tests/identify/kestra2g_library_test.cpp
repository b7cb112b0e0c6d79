#include "identify/kestra2g_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/exe_path.h"

namespace {

namespace fs = std::filesystem;

// The folder of this test program; the stand-in libraries sit below it.
std::string TestFolder() { return fs::path(platform::ExecutablePath()).parent_path().string(); }
std::string StubFolder(const char* kind) {
  return (fs::path(TestFolder()) / (std::string("stub_") + kind)).string();
}

std::string CannotLoad() {
  return "The device library " + DeviceLibraryFileName() + " could not be loaded.\n";
}

// A fresh folder, removed again at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() / ("reflint_k2g_" + std::to_string(std::random_device{}()));
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

TEST(Kestra2GLibrary, FileNameFollowsThePlatform) {
#if defined(_WIN32)
  EXPECT_EQ(DeviceLibraryFileName(), "Kestra2G.dll");
#else
  EXPECT_EQ(DeviceLibraryFileName(), "libKestra2G.so");
#endif
}

TEST(Kestra2GLibrary, EveryFunctionReachesItsOwnExport) {
  const LibraryResult loaded = LoadDeviceLibrary(StubFolder("complete"));
  ASSERT_TRUE(loaded) << loaded.error().error.Describe();
  const std::shared_ptr<DeviceLibrary>& library = *loaded;

  int expectedProgress = 10;
  for (DeviceFamily family : kExaminationOrder) {
    const std::string prefix(Family(family).libraryPrefix);
    char info[kInformationBufferSize] = {};
    ASSERT_EQ(library->GetBootInformation(family, -1, info, 7), 1);
    EXPECT_EQ(std::string(info), prefix + "GetBootInformation mode=-1 port=7");
    ASSERT_EQ(library->GetProductInformation(family, -1, info, 8), 1);
    EXPECT_EQ(std::string(info), prefix + "GetProductInformation mode=-1 port=8");
    ASSERT_EQ(library->GetApplicationInformation(family, -1, info, 9), 1);
    EXPECT_EQ(std::string(info), prefix + "GetApplicationInformation mode=-1 port=9");
    char jobName[kJobNameBufferSize] = {};
    library->GetJobName(family, jobName);
    EXPECT_EQ(std::string(jobName), prefix + "GetJobName");
    EXPECT_EQ(library->GetProgress(family), expectedProgress);
    expectedProgress += 10;
  }
  EXPECT_EQ(library->InitCom(3, 1), 131);
  EXPECT_EQ(library->CatchBoot(4, 2), 242);
  EXPECT_EQ(library->DownloadMOTCF("abc", 2, 3), 3 + 23);
  ASSERT_TRUE(library->CanRevert());
  char previous[kInformationBufferSize] = {};
  EXPECT_EQ(library->Revert(5, 2, true, previous), 1);
  EXPECT_EQ(std::string(previous), "Kestra2G_Revert port=5 code=2 apply=1");
  EXPECT_EQ(library->Revert(6, 3, false, previous), 1);
  EXPECT_EQ(std::string(previous), "Kestra2G_Revert port=6 code=3 apply=0");
}

// The maker's library has the 23 alone: it loads, and cannot revert.
TEST(Kestra2GLibrary, WithoutRevertTheLibraryLoadsAndCannotRevert) {
  const LibraryResult loaded = LoadDeviceLibrary(StubFolder("norevert"));
  ASSERT_TRUE(loaded) << loaded.error().error.Describe();
  EXPECT_FALSE((*loaded)->CanRevert());
  char previous[kInformationBufferSize] = {};
  EXPECT_EQ((*loaded)->Revert(5, 2, true, previous), 0);
}

TEST(Kestra2GLibrary, FolderMayEndWithSeparator) {
  EXPECT_TRUE(LoadDeviceLibrary(StubFolder("complete") + platform::PathSeparator()));
}

TEST(Kestra2GLibrary, MissingFunctionIsNamedForTheUser) {
  const LibraryResult loaded = LoadDeviceLibrary(StubFolder("partial"));
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().userText, CannotLoad() +
                                         "It lacks the function TQ640_GetApplicationInformation.\n"
                                         "Please reinstall the program.");
  EXPECT_EQ(loaded.error().error.reason, "lacks TQ640_GetApplicationInformation");
}

TEST(Kestra2GLibrary, MissingOrBrokenFileGivesOneUserText) {
  TempFolder folder;
  LibraryResult loaded = LoadDeviceLibrary(folder.Path().string());
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().userText, CannotLoad() + "Please reinstall the program.");
  const std::string missing = loaded.error().error.Describe();

  std::ofstream(folder.Path() / DeviceLibraryFileName()) << "not a shared library";
  loaded = LoadDeviceLibrary(folder.Path().string());
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().userText, CannotLoad() + "Please reinstall the program.");
  // One text for the user, but the log tells a missing file from a broken one.
  EXPECT_NE(loaded.error().error.Describe(), missing);
}

TEST(Kestra2GLibrary, UnknownFolderFailsEvenWithALibraryInTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(StubFolder("complete"));
  const LibraryResult loaded = LoadDeviceLibrary("");
  fs::current_path(before);
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().userText, CannotLoad() + "The program's own folder could not be found.");
}

#if defined(FOREIGN_CDECL_LIBRARY)
// Where the stack stands: the address of a local in a frame of its own.
[[gnu::noinline]] std::uintptr_t StackMark() {
  volatile char here = 0;
  return reinterpret_cast<std::uintptr_t>(&here);
}

// A cdecl library built by someone else, called many times over: with a
// wrong convention or argument type the stack would drift a few bytes per
// call (or the program crash), and results would come back mixed up.
TEST(Kestra2GLibrary, ForeignCdeclLibraryKeepsTheStackAndArgumentsSound) {
  const LibraryResult loaded = LoadDeviceLibrary(StubFolder("foreign"));
  ASSERT_TRUE(loaded) << loaded.error().error.Describe();
  const std::shared_ptr<DeviceLibrary>& library = *loaded;

  volatile std::uint32_t canary = 0x5EED1E55;
  const std::uintptr_t before = StackMark();
  int wrong = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t port = 1 + i % 15, code = i % 4, mode = i % 3 - 1;
    const std::string comPort = " COM" + std::to_string(port);
    char info[kInformationBufferSize] = {};
    // The one byte read of a result with junk above it.
    wrong += library->GetBootInformation(DeviceFamily::HLX700, mode, info, port) != 1;
    wrong += std::string(info) != "Boot OEM 35243 stand-in mode " + std::to_string(mode) + comPort;
    std::fill(std::begin(info), std::end(info), '\0');
    wrong += library->GetProductInformation(DeviceFamily::HLX700, mode, info, port) != 1;
    wrong += std::string(info) != "Vantrel HLX700 stand-in mode " + std::to_string(mode) + comPort;
    wrong += library->GetBootInformation(DeviceFamily::TQ640, mode, info, port) != 0;
    wrong += library->InitCom(port, code) != 16 * port + code;
    wrong += library->CatchBoot(port, code) != 16 * port + code;
    wrong += library->GetProgress(DeviceFamily::KII) != 0;
    char jobName[kJobNameBufferSize];
    library->GetJobName(DeviceFamily::MV5100, jobName);
    wrong += std::string(jobName) != "MV5100_";
  }
  EXPECT_EQ(StackMark(), before);
  EXPECT_EQ(canary, 0x5EED1E55u);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(library->DownloadMOTCF("no such file", 3, 0), 0);
}
#endif

#if defined(REAL_LIBRARY_BESIDE_TEST)
TEST(Kestra2GLibrary, RealLibraryBesideTheProgramLoads) {
  const LibraryResult loaded = LoadDeviceLibrary(TestFolder());
  ASSERT_TRUE(loaded) << loaded.error().error.Describe();
  const std::shared_ptr<DeviceLibrary>& library = *loaded;
  EXPECT_GE(library->GetProgress(DeviceFamily::KII), 0);
}
#endif

}  // namespace
