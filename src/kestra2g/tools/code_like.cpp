#include "kestra2g/tools/code_like.h"

#include <array>
#include <string_view>

namespace sample {
namespace {

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : x_(seed * 2654435761U + 1U) {}
  std::uint32_t Next() {
    x_ = x_ * 1664525U + 1013904223U;
    return x_ >> 8;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t x_;
};

constexpr std::array<std::string_view, 16> kWords = {
    "Volume", "Channel", "Mute",  "Power", "Input",  "Menu",    "Guide", "Back",
    "Record", "Play",    "Pause", "Stop",  "Rewind", "Forward", "Learn", "Setup"};

class Writer {
 public:
  Writer(std::size_t size, std::uint32_t seed) : rng_(seed) { out_.reserve(size + 64); }
  void Half(std::uint16_t h) {
    out_.push_back(static_cast<std::uint8_t>(h & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(h >> 8));
  }
  std::uint16_t Reg() {
    return static_cast<std::uint16_t>(rng_.Below(8) < 6 ? rng_.Below(4) : rng_.Below(8));
  }
  void Instruction() {
    switch (rng_.Below(10)) {
      case 0:
      case 1: {  // mov/cmp/add/sub with a small immediate
        static constexpr std::uint16_t kImm[] = {0, 1, 2, 4, 8, 16, 0xFF, 0x10};
        const std::uint16_t imm = rng_.Below(4) == 0 ? rng_.Below(256) : kImm[rng_.Below(8)];
        Half(static_cast<std::uint16_t>(0x2000 | (rng_.Below(4) << 11) | (Reg() << 8) | imm));
        break;
      }
      case 2:
      case 3:  // ldr/str rd, [rn, #imm]
        Half(static_cast<std::uint16_t>((rng_.Below(2) ? 0x6800 : 0x6000) | (rng_.Below(8) << 6) |
                                        (Reg() << 3) | Reg()));
        break;
      case 4:  // ldr rd, [pc, #imm]
        Half(static_cast<std::uint16_t>(0x4800 | (Reg() << 8) | rng_.Below(32)));
        break;
      case 5:  // mov rd, rm / add rd, rm
        Half(static_cast<std::uint16_t>((rng_.Below(2) ? 0x4600 : 0x4400) | (Reg() << 3) | Reg()));
        break;
      case 6:  // conditional branch, short and mostly forward
        Half(static_cast<std::uint16_t>(0xD000 | (rng_.Below(3) << 8) | rng_.Below(24)));
        break;
      case 7: {  // bl to one of a few hundred functions
        const std::uint32_t target = rng_.Below(300) * 37;
        Half(static_cast<std::uint16_t>(0xF000 | ((target >> 11) & 0x7FF)));
        Half(static_cast<std::uint16_t>(0xF800 | (target & 0x7FF)));
        break;
      }
      case 8:  // lsl/lsr rd, rm, #imm
        Half(static_cast<std::uint16_t>((rng_.Below(2) << 11) | (rng_.Below(8) << 6) |
                                        (Reg() << 3) | Reg()));
        break;
      default:  // add/sub rd, rn, rm
        Half(static_cast<std::uint16_t>(0x1800 | (rng_.Below(2) << 9) | (Reg() << 6) |
                                        (Reg() << 3) | Reg()));
        break;
    }
  }
  // Compilers repeat themselves: most of a body is made of a few hundred
  // short idioms, the rest is one-off.
  void MakeIdioms() {
    for (auto& idiom : idioms_) {
      const std::size_t from = out_.size();
      const std::uint32_t n = 2 + rng_.Below(5);
      for (std::uint32_t i = 0; i < n; ++i) Instruction();
      idiom.assign(out_.begin() + static_cast<std::ptrdiff_t>(from), out_.end());
      out_.resize(from);
    }
  }
  void Function() {
    Half(0xB5F0);  // push {r4-r7, lr}
    if (rng_.Below(2)) Half(static_cast<std::uint16_t>(0xB080 | rng_.Below(8)));  // sub sp
    const std::uint32_t n = 3 + rng_.Below(14);
    for (std::uint32_t i = 0; i < n; ++i) {
      if (rng_.Below(4) == 0) {
        Instruction();
      } else {
        const auto& idiom = idioms_[rng_.Below(idioms_.size())];
        out_.insert(out_.end(), idiom.begin(), idiom.end());
      }
    }
    Half(0xBDF0);  // pop {r4-r7, pc}
    const std::uint32_t literals = rng_.Below(4);
    for (std::uint32_t i = 0; i < literals; ++i) {
      const std::uint32_t word = rng_.Below(3) ? 0x08000000U | (rng_.Below(0x4000) * 4)
                                               : 0x20000000U | (rng_.Below(0x400) * 4);
      Half(static_cast<std::uint16_t>(word & 0xFFFF));
      Half(static_cast<std::uint16_t>(word >> 16));
    }
  }
  void Texts() {
    const std::uint32_t n = 4 + rng_.Below(12);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::string_view w = kWords[rng_.Below(kWords.size())];
      out_.insert(out_.end(), w.begin(), w.end());
      out_.push_back(0);
    }
    if (out_.size() % 2 != 0) out_.push_back(0);
  }
  std::vector<std::uint8_t> Take(std::size_t size) {
    MakeIdioms();
    while (out_.size() < size) {
      if (rng_.Below(24) == 0)
        Texts();
      else
        Function();
    }
    out_.resize(size);
    return std::move(out_);
  }

 private:
  Rng rng_;
  std::vector<std::uint8_t> out_;
  std::array<std::vector<std::uint8_t>, 192> idioms_;
};

}  // namespace

std::vector<std::uint8_t> CodeLikeBytes(std::size_t size, std::uint32_t seed) {
  return Writer(size, seed).Take(size);
}

}  // namespace sample
