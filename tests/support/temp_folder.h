#pragma once
// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes away.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace testing_support {

class TempFolder {
 public:
  TempFolder() {
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("reflint-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // The folder as the program writes it: ending with the platform's separator.
  std::string Text() const { return (path_ / "").string(); }

  // Creates a file with a few bytes in it; returns its full path.
  std::string AddFile(const std::string& name) const {
    std::ofstream(path_ / name) << "firmware";
    return (path_ / name).string();
  }
  std::string AddFolder(const std::string& name) const {
    std::filesystem::create_directory(path_ / name);
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
