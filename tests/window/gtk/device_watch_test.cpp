// The device watch on a folder of the test's own: nodes that come and go
// are told once things settle; a write to an existing one is not.
#include "window/gtk/device_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

namespace {

// Runs the main context until done holds or the limit passes.
template <typename Done>
bool Spin(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return done();
}

using testing_support::TempFolder;

TEST(DeviceWatchTest, NodesThatComeOrGoAreToldOnceSettledWritesAreNot) {
  TempFolder folder;
  const std::filesystem::path node = folder.Path() / "ttyUSB0";
  std::ofstream(node) << "x";
  int told = 0;
  DeviceWatch watch([&] { ++told; }, folder.Path().c_str());

  std::ofstream(node, std::ios::app) << "written";
  Spin([] { return false; }, std::chrono::milliseconds(1000));
  EXPECT_EQ(told, 0);

  std::ofstream(folder.Path() / "ttyUSB1") << "";
  std::filesystem::remove(node);  // in the same burst: told once
  EXPECT_TRUE(Spin([&] { return told > 0; }, std::chrono::seconds(10)));
  Spin([] { return false; }, std::chrono::milliseconds(1000));
  EXPECT_EQ(told, 1);
}

}  // namespace
