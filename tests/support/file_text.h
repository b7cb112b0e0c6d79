#pragma once
// A file's whole content, as the tests compare and search it.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

// Empty when the file cannot be read.
inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testing_support
