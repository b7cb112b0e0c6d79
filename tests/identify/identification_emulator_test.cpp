// The three identification steps over the real device library, loaded as the
// program loads it, against the emulated remote on a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "identify/identification_steps.h"
#include "identify/kestra2g_library.h"
#include "kestra2g/remote_fixture.h"
#include "platform/exe_path.h"

namespace {

using k2gtest::kPort;
using k2gtest::Remote;
using F = DeviceFamily;

class IdentificationOverLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const LibraryResult loaded =
        LoadDeviceLibrary(std::filesystem::path(platform::ExecutablePath()).parent_path().string());
    ASSERT_TRUE(loaded) << loaded.error().error.Describe();
    library = *loaded;
  }
  void MakeAvailable(std::initializer_list<F> families) {
    for (F f : families) SetFlag(state.available[FamilyIndex(f)]);
  }

  std::shared_ptr<DeviceLibrary> library;
  UpdateRunState state;
};

TEST_F(IdentificationOverLibraryTest, Tq640IsTakenForHlx700ByBootThenSortedOutByProduct) {
  Remote remote({"--family", "TQ640", "--app-version", "4.0.1"});
  ASSERT_TRUE(remote.started());
  MakeAvailable({F::HLX700, F::TQ640});

  std::string bootId;
  ASSERT_TRUE(QueryBootInformation(state, *library, kPort, bootId));
  EXPECT_EQ(bootId, "35243");
  EXPECT_TRUE(state.IsBootMatched(F::HLX700));
  ASSERT_TRUE(QueryProductInformation(state, *library, kPort, bootId));
  EXPECT_EQ(state.GetDeviceCode(), 1);
  EXPECT_FALSE(state.IsBootMatched(F::HLX700));
  EXPECT_EQ(QueryApplicationInformation(state, *library, kPort), "4.0.1");
  EXPECT_TRUE(state.IsSelected(F::TQ640));
  EXPECT_EQ(state.FirstSelectedFamily(), F::TQ640);
}

TEST_F(IdentificationOverLibraryTest, SilentDeviceLeavesEverythingToTheUser) {
  Remote remote({"--family", "KII", "--no-answer", "boot"});
  ASSERT_TRUE(remote.started());
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640, F::KII});
  std::string bootId;
  EXPECT_FALSE(QueryBootInformation(state, *library, kPort, bootId));
  EXPECT_EQ(state.FirstSelectedFamily(), std::nullopt);
}

}  // namespace
