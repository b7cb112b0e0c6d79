#pragma once
// The product version as the executable file's own version block gives it.
// The block is read when the object is built and released with it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CVersionInfo {
 public:
  // Reads the block of the running program's executable file.
  CVersionInfo();
  explicit CVersionInfo(const std::string& executablePath);
  virtual ~CVersionInfo() = default;

  // "\StringFileInfo\040904B0\ProductVersion"; nullopt when the file, the
  // block or the value cannot be read.
  std::optional<std::string> GetProductVersion() const;

 private:
  std::string path_;
  std::vector<std::uint8_t> block_;
};
