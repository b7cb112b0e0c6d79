#include "kestra2g/tools/delta_codec.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

#include "kestra2g/wire/firmware_file.h"

namespace delta {
namespace {

struct CCtxFree {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

platform::Unexpected Refused(const char* stage, std::size_t code) {
  return platform::Fail(platform::Refusal("zstd", stage, ZSTD_getErrorName(code)));
}

}  // namespace

platform::Result<std::vector<std::uint8_t>> Make(std::span<const std::uint8_t> base,
                                                 std::span<const std::uint8_t> target, int level) {
  const std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
  if (!cctx) return platform::Fail(platform::Refusal("zstd", "create", "out of memory"));
  const int windowLog = wire::DeltaWindowLog(std::max(base.size(), target.size()));
  for (const auto& [param, value] :
       {std::pair{ZSTD_c_compressionLevel, level}, std::pair{ZSTD_c_windowLog, windowLog},
        std::pair{ZSTD_c_enableLongDistanceMatching, 1},
        // The device checks SHA-256, of the delta and the result.
        std::pair{ZSTD_c_checksumFlag, 0}, std::pair{ZSTD_c_contentSizeFlag, 1}}) {
    if (const std::size_t rc = ZSTD_CCtx_setParameter(cctx.get(), param, value); ZSTD_isError(rc)) {
      return Refused("parameter", rc);
    }
  }
  if (const std::size_t rc = ZSTD_CCtx_refPrefix(cctx.get(), base.data(), base.size());
      ZSTD_isError(rc)) {
    return Refused("prefix", rc);
  }
  std::vector<std::uint8_t> out(ZSTD_compressBound(target.size()));
  const std::size_t n =
      ZSTD_compress2(cctx.get(), out.data(), out.size(), target.data(), target.size());
  if (ZSTD_isError(n)) return Refused("compress", n);
  out.resize(n);
  return out;
}

}  // namespace delta
