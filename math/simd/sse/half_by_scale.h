// The half-to-float formula both families use for the values that do not
// fill a block of eight. Internal linkage: each family's source compiles its
// own copy with its own flags.
#pragma once

#include <bit>
#include <cstdint>

namespace kubik::sse {
namespace {

// float(m) times 2^(e - 25) with the sign: m carries the hidden bit unless
// the exponent field is 0, which counts as 1 (denormals).
inline float HalfToFloatByScale(std::uint16_t h) {
  const std::uint32_t e = h & 0x7c00u;
  std::uint32_t m = h & 0x03ffu;
  const std::uint32_t sign = h & 0x8000u;
  if (e != 0) m |= 0x0400u;
  const std::uint32_t e_clamped = e > 0x0400u ? e : 0x0400u;
  const std::uint32_t scale = ((e_clamped + 0x00019800u) << 13) | (sign << 16);
  return static_cast<float>(m) * std::bit_cast<float>(scale);
}

}  // namespace
}  // namespace kubik::sse
