#pragma once
// Deterministic bytes that look like a remote's firmware: 16-bit machine code
// in functions with prologues, literal pools and a few text tables. They
// compress about as well as real code, unlike random bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sample {

std::vector<std::uint8_t> CodeLikeBytes(std::size_t size, std::uint32_t seed);

}  // namespace sample
