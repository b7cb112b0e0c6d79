#pragma once
// Builds small RIFF AVI clips in memory for the reader's tests.

#include <cstdint>
#include <string>
#include <vector>

struct AviSpec {
  int width = 3;
  int height = 2;  // negative: top-down rows
  std::uint32_t scale = 1;
  std::uint32_t rate = 2;  // frames per second = rate / scale
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  // One byte per pixel, rows as stored in the file (bottom-up unless height < 0).
  std::vector<std::vector<std::uint8_t>> frames;
};

class AviBuilder {
 public:
  static std::vector<std::uint8_t> Build(const AviSpec& spec);

 private:
  static void Put32(std::vector<std::uint8_t>& out, std::uint32_t v);
  static void Put16(std::vector<std::uint8_t>& out, std::uint16_t v);
  static void PutTag(std::vector<std::uint8_t>& out, const char* tag);
  static std::vector<std::uint8_t> Chunk(const char* tag, const std::vector<std::uint8_t>& body);
  static std::vector<std::uint8_t> List(const char* type, const std::vector<std::uint8_t>& body);
};

inline void AviBuilder::Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void AviBuilder::Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void AviBuilder::PutTag(std::vector<std::uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

inline std::vector<std::uint8_t> AviBuilder::Chunk(const char* tag,
                                                   const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> out;
  PutTag(out, tag);
  Put32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2) out.push_back(0);
  return out;
}

inline std::vector<std::uint8_t> AviBuilder::List(const char* type,
                                                  const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> inner;
  PutTag(inner, type);
  inner.insert(inner.end(), body.begin(), body.end());
  return Chunk("LIST", inner);
}

inline std::vector<std::uint8_t> AviBuilder::Build(const AviSpec& spec) {
  std::vector<std::uint8_t> avih;
  Put32(avih, 1000000u * spec.scale / spec.rate);
  for (int i = 0; i < 3; ++i) Put32(avih, 0);
  Put32(avih, static_cast<std::uint32_t>(spec.frames.size()));
  for (int i = 0; i < 3; ++i) Put32(avih, 0);
  Put32(avih, static_cast<std::uint32_t>(spec.width));
  Put32(avih, static_cast<std::uint32_t>(spec.height < 0 ? -spec.height : spec.height));
  for (int i = 0; i < 4; ++i) Put32(avih, 0);

  std::vector<std::uint8_t> strh;
  PutTag(strh, "vids");
  PutTag(strh, "DIB ");
  for (int i = 0; i < 3; ++i) Put32(strh, 0);  // flags, priority+language, initial frames
  Put32(strh, spec.scale);
  Put32(strh, spec.rate);
  for (int i = 0; i < 7; ++i) Put32(strh, 0);

  std::vector<std::uint8_t> strf;
  Put32(strf, 40);
  Put32(strf, static_cast<std::uint32_t>(spec.width));
  Put32(strf, static_cast<std::uint32_t>(spec.height));
  Put16(strf, 1);
  Put16(strf, spec.bitCount);
  Put32(strf, spec.compression);
  for (int i = 0; i < 3; ++i) Put32(strf, 0);
  Put32(strf, static_cast<std::uint32_t>(spec.palette.size()));
  Put32(strf, 0);
  for (std::uint32_t rgb : spec.palette) Put32(strf, rgb);  // little-endian gives B, G, R, 0

  std::vector<std::uint8_t> strl = Chunk("strh", strh);
  const auto strfChunk = Chunk("strf", strf);
  strl.insert(strl.end(), strfChunk.begin(), strfChunk.end());

  std::vector<std::uint8_t> hdrl = Chunk("avih", avih);
  const auto strlList = List("strl", strl);
  hdrl.insert(hdrl.end(), strlList.begin(), strlList.end());

  const std::size_t stride = (static_cast<std::size_t>(spec.width) + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> movi;
  for (const auto& pixels : spec.frames) {
    std::vector<std::uint8_t> data;
    const int rows = spec.height < 0 ? -spec.height : spec.height;
    for (int row = 0; row < rows; ++row) {
      for (std::size_t col = 0; col < stride; ++col) {
        const std::size_t at = static_cast<std::size_t>(row * spec.width) + col;
        data.push_back(col < static_cast<std::size_t>(spec.width) && at < pixels.size() ? pixels[at]
                                                                                        : 0);
      }
    }
    const auto chunk = Chunk("00db", data);
    movi.insert(movi.end(), chunk.begin(), chunk.end());
  }

  std::vector<std::uint8_t> body;
  PutTag(body, "AVI ");
  const auto hdrlList = List("hdrl", hdrl);
  const auto moviList = List("movi", movi);
  body.insert(body.end(), hdrlList.begin(), hdrlList.end());
  body.insert(body.end(), moviList.begin(), moviList.end());
  return Chunk("RIFF", body);
}
