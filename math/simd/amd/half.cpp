// 3DNow! half-precision conversion: short arrays go to the reference, longer
// ones four values per step.
#include <cstdint>

#include "math/reference/reference.h"
#include "math/simd/amd/family.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

// ---- Half precision ----------------------------------------------------------------

std::uint16_t FloatToHalf(float value) {
  const std::uint32_t v = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t sign = (v >> 16) & 0x8000u;
  std::uint32_t a = v & 0x7fffffffu;
  constexpr float kSmallestNormalHalf = 0x1p-14f;
  if (std::bit_cast<float>(a) <= kSmallestNormalHalf) {
    // Shifts a subnormal half's bits into place by a float addition,
    // which rounds once before the rounding below.
    a = std::bit_cast<std::uint32_t>(std::bit_cast<float>(a) + kSmallestNormalHalf) - 0x00800000u;
  }
  std::uint32_t h = (a + ((a >> 13) & 1u) + 0xfffu - 0x38000000u) >> 13;
  if (a > 0x47ffefffu) h = 0x7fffu;
  return static_cast<std::uint16_t>(h | sign);
}

float HalfToFloat(std::uint16_t h) {
  const std::uint32_t sign = h & 0x8000u;
  const std::uint32_t magnitude = h & 0x7fffu;
  const bool subnormal = (h & 0x7c00u) == 0;
  const std::uint32_t bits = (magnitude + 0x0001c000u + (subnormal ? 0x0400u : 0u)) << 13;
  float f = std::bit_cast<float>(bits);
  if (subnormal) f -= 0x1p-14f;
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(f) | (sign << 16));
}

// Four values per step; a last partial block steps back to end at n - 1.
template <class Four>
void InBlocksOfFour(std::uint32_t n, Four four) {
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) four(i);
  if (i < n) four(n - 4);
}

}  // namespace

KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, std::uint32_t n) {
  if (n < 4) return reference::KMFloat32To16Array(out, in, n);
  InBlocksOfFour(n, [&](std::uint32_t i) {
    for (std::uint32_t j = i; j < i + 4; ++j) out[j].value = FloatToHalf(in[j]);
  });
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, std::uint32_t n) {
  if (n < 4) return reference::KMFloat16To32Array(out, in, n);
  InBlocksOfFour(n, [&](std::uint32_t i) {
    for (std::uint32_t j = i; j < i + 4; ++j) out[j] = HalfToFloat(in[j].value);
  });
  return out;
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
