#include "kestra2g/deflate_image.h"

#include <zlib.h>

namespace kestra2g {

std::optional<std::vector<std::uint8_t>> DeflateImage(std::span<const std::uint8_t> image,
                                                      int windowBits) {
  z_stream z{};
  // memLevel 9: the fastest and best; memory is the host's, not the device's.
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(image.size())));
  z.next_in = const_cast<Bytef*>(image.data());  // zlib's API is not const-correct
  z.avail_in = static_cast<uInt>(image.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace kestra2g
