#include "platform/file_access.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

using testing_support::TempFolder;

TEST(CanOpenForReading, OnlyAnExistingRegularFile) {
  TempFolder folder;
  EXPECT_TRUE(platform::CanOpenForReading(folder.AddFile("HLX700_V_1.bin")));
  EXPECT_FALSE(platform::CanOpenForReading(folder.AddFolder("KII_V_1.bin")));
  EXPECT_FALSE(platform::CanOpenForReading((folder.Path() / "missing.bin").string()));
  EXPECT_FALSE(platform::CanOpenForReading(""));
}

#ifdef _WIN32
TEST(CanOpenForReading, FailsWhileAnotherHandleHoldsTheFile) {
  TempFolder folder;
  const std::string path = folder.AddFile("TQ640_V_1.bin");
  HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform::CanOpenForReading(path));
  CloseHandle(other);
  EXPECT_TRUE(platform::CanOpenForReading(path));
}

TEST(CanOpenForReading, DeviceNamesAreNoFiles) { EXPECT_FALSE(platform::CanOpenForReading("NUL")); }
#else
TEST(CanOpenForReading, AFifoFailsWithoutWaitingForAWriter) {
  TempFolder folder;
  const std::string path = (folder.Path() / "MV5100_V_1.bin").string();
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(platform::CanOpenForReading(path));
}
#endif

}  // namespace
