// Half-precision conversion. Both directions work on bit patterns with
// integer operations only, so the result never depends on the floating-point
// unit's mode and the SIMD versions can match it bit for bit.
#include <bit>
#include <cstdint>

#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

uint16_t FloatBitsToHalf(uint32_t v) {
  const uint32_t a = v & 0x7fffffffu;
  const uint32_t sign = (v >> 16) & 0x8000u;
  if (a > 0x47ffefffu) {
    // At least 131040 (the midpoint above 131008), infinities and NaNs:
    // the format has neither, so saturate.
    return static_cast<uint16_t>(sign | 0x7fffu);
  }
  if (a >= 0x38800000u) {
    // Rebias the exponent and add the rounding bias in one subtraction;
    // the lowest surviving bit makes ties go to even. A mantissa carry
    // moves into the exponent, which is the right answer.
    return static_cast<uint16_t>(sign | ((a - 939520001u + ((a >> 13) & 1u)) >> 13));
  }
  // Below the smallest normal half: shift the mantissa (hidden bit set) into
  // denormal position, dropping what falls off, then round on what is left.
  const uint32_t e = a >> 23;
  const uint32_t mant = (a & 0x7fffffu) | 0x800000u;
  const uint32_t k = 113u - e;
  const uint32_t c = k < 24u ? mant >> k : 0u;
  return static_cast<uint16_t>(sign | ((c + 4095u + ((c >> 13) & 1u)) >> 13));
}

uint32_t HalfToFloatBits(uint16_t h) {
  const uint32_t s = (h >> 15) & 1u;
  const uint32_t e = (h >> 10) & 0x1fu;
  uint32_t m = h & 0x3ffu;
  if (e != 0) return (s << 31) | ((e + 112u) << 23) | (m << 13);
  if (m == 0) return s << 31;
  // Denormal: normalise the mantissa, counting the shifts.
  uint32_t j = 0;
  while ((m & 0x400u) == 0) {
    m <<= 1;
    ++j;
  }
  return (s << 31) | ((113u - j) << 23) | ((m & 0x3ffu) << 13);
}

}  // namespace

KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i].value = FloatBitsToHalf(std::bit_cast<uint32_t>(in[i]));
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = std::bit_cast<float>(HalfToFloatBits(in[i].value));
  return out;
}

}  // namespace kubik::reference
