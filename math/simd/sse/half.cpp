// Half-to-float conversion of the SSE family: eight halves per step in two
// 64-bit integer lanes. Without 128-bit integer operations the scale bits
// reach the float lanes through a small aligned scratch area.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "math/simd/sse/family.h"
#include "math/simd/sse/half_by_scale.h"

namespace kubik::sse {
namespace {

// Four halves to four floats.
inline __m128 PackedHalfToFloat4(__m64 h) {
  const __m64 e = _mm_and_si64(h, _mm_set1_pi16(0x7c00));
  const __m64 sign = _mm_and_si64(h, _mm_set1_pi16(static_cast<short>(0x8000)));
  const __m64 zero_exponent = _mm_cmpeq_pi16(e, _mm_setzero_si64());
  const __m64 m = _mm_or_si64(_mm_and_si64(h, _mm_set1_pi16(0x03ff)),
                              _mm_andnot_si64(zero_exponent, _mm_set1_pi16(0x0400)));
  const __m64 e_clamped = _mm_max_pi16(e, _mm_set1_pi16(0x0400));
  const __m64 bias = _mm_set1_pi32(0x00019800);
  // Widened to 32 bits; the sign lands in the upper half, i.e. shifted by 16.
  const __m64 scale_lo = _mm_or_si64(
      _mm_slli_pi32(_mm_add_pi32(_mm_unpacklo_pi16(e_clamped, _mm_setzero_si64()), bias), 13),
      _mm_unpacklo_pi16(_mm_setzero_si64(), sign));
  const __m64 scale_hi = _mm_or_si64(
      _mm_slli_pi32(_mm_add_pi32(_mm_unpackhi_pi16(e_clamped, _mm_setzero_si64()), bias), 13),
      _mm_unpackhi_pi16(_mm_setzero_si64(), sign));
  // Read back with loads of the stores' own size, which the processor
  // forwards from its store buffer; one 16-byte load would have to wait.
  alignas(16) __m64 scratch[2] = {scale_lo, scale_hi};
  const __m128 scale = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), &scratch[0]), &scratch[1]);
  // m is at most 0x07ff, so the signed conversion is exact; so is the product.
  return _mm_mul_ps(_mm_cvtpi16_ps(m), scale);
}

}  // namespace

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  const std::uint32_t blocked = n & ~7u;
  std::uint32_t i = 0;
  for (; i < blocked; i += 8) {
    __m64 lo, hi;
    std::memcpy(&lo, in + i, 8);
    std::memcpy(&hi, in + i + 4, 8);
    _mm_storeu_ps(out + i, PackedHalfToFloat4(lo));
    _mm_storeu_ps(out + i + 4, PackedHalfToFloat4(hi));
  }
  // Leave the 64-bit lanes' state before any scalar floating-point code.
  if (blocked) _mm_empty();
  for (; i < n; ++i) out[i] = HalfToFloatByScale(in[i].value);
  return out;
}

}  // namespace kubik::sse
