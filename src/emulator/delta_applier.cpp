#include "emulator/delta_applier.h"

// The stable output buffer: the decoder writes into the spare slot itself
// rather than into a window of its own.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace emulator {

struct DeltaApplier::ZState {
  ZSTD_DCtx* dctx = ZSTD_createDCtx();
  ~ZState() { ZSTD_freeDCtx(dctx); }
};

DeltaApplier::DeltaApplier(int windowLog, std::size_t keepAhead)
    : z_(std::make_unique<ZState>()), windowLog_(windowLog), stream_(keepAhead) {}

DeltaApplier::~DeltaApplier() = default;

void DeltaApplier::Restart(std::span<const std::uint8_t> base, std::span<std::uint8_t> out,
                           const Expected& expected) {
  out_ = out;
  expected_ = expected;
  sectionHash_.Reset();
  taken_ = 0;
  written_ = 0;
  ended_ = false;
  verified_ = false;
  ZSTD_DCtx* d = z_->dctx;
  const bool ready = d != nullptr &&
                     !ZSTD_isError(ZSTD_DCtx_reset(d, ZSTD_reset_session_and_parameters)) &&
                     !ZSTD_isError(ZSTD_DCtx_setParameter(d, ZSTD_d_windowLogMax, windowLog_)) &&
                     !ZSTD_isError(ZSTD_DCtx_setParameter(d, ZSTD_d_stableOutBuffer, 1)) &&
                     !ZSTD_isError(ZSTD_DCtx_refPrefix(d, base.data(), base.size()));
  stream_.Restart(!ready);
}

void DeltaApplier::Refuse() {
  verified_ = false;
  stream_.Restart(true);
}

bool DeltaApplier::Feed(std::span<const std::uint8_t> bytes) {
  // Nothing may follow the end of the frame, nor the section's signed size.
  if (ended_ || taken_ + bytes.size() > expected_.size) return false;
  sectionHash_.Add(bytes);
  taken_ += bytes.size();
  ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
  // Stable output: the same buffer every call, zstd moves only `pos`.
  ZSTD_outBuffer out{out_.data(), out_.size(), written_};
  while (in.pos < in.size) {
    const std::size_t before = in.pos;
    const std::size_t rc = ZSTD_decompressStream(z_->dctx, &out, &in);
    written_ = out.pos;
    if (ZSTD_isError(rc)) return false;  // corrupt, too large a window, or past the payload
    if (rc == 0) {
      ended_ = true;
      return in.pos == in.size && Finish();
    }
    if (in.pos == before) return false;  // no way on: never loop in place
  }
  return true;
}

// The frame has ended: the section as signed, and the new payload as signed.
bool DeltaApplier::Finish() {
  verified_ = taken_ == expected_.size && sectionHash_.Digest() == expected_.sha256 &&
              written_ == out_.size() && wire::Sha256(out_) == expected_.resultSha256;
  return verified_;
}

DeltaApplier::Result DeltaApplier::Take(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  return stream_.Take(offset, bytes, [this](std::span<const std::uint8_t> b) { return Feed(b); });
}

std::size_t DeltaApplier::MemoryUse() const { return ZSTD_sizeof_DCtx(z_->dctx); }

}  // namespace emulator
