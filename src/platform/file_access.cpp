#include "platform/file_access.h"

#include <fstream>
#include <iterator>

namespace platform {

Result<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(LastSystemFailure(path, "read"));
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) return Fail(Refusal(path, "read", "the read broke off"));
  return bytes;
}

}  // namespace platform
