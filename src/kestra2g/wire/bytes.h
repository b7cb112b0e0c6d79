#pragma once
// Little-endian packing of frame payloads. The reader never reads past the
// end: a short payload sets ok() to false and yields zeros.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace wire {

class ByteWriter {
 public:
  ByteWriter() = default;
  // Room for `capacity` bytes up front: one allocation for a payload of
  // known size.
  explicit ByteWriter(std::size_t capacity) { bytes_.reserve(capacity); }
  ByteWriter& U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ByteWriter& U16(std::uint16_t v) { return U8(v & 0xFFU).U8(static_cast<std::uint8_t>(v >> 8)); }
  ByteWriter& U32(std::uint32_t v) {
    return U16(v & 0xFFFFU).U16(static_cast<std::uint16_t>(v >> 16));
  }
  ByteWriter& Bytes(std::span<const std::uint8_t> b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  ByteWriter& Text(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> b) : bytes_(b) {}
  std::uint8_t U8() {
    if (pos_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return bytes_[pos_++];
  }
  std::uint16_t U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  // Everything not read yet.
  std::span<const std::uint8_t> Rest() {
    auto rest = bytes_.subspan(pos_ < bytes_.size() ? pos_ : bytes_.size());
    pos_ = bytes_.size();
    return rest;
  }
  bool ok() const { return ok_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace wire
