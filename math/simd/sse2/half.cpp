// Half-to-float conversion of the SSE2 family: eight halves per step in
// 128-bit integer lanes. When no value of the eight has a zero exponent
// field, the float bits are formed directly, without conversion or multiply.
#include <emmintrin.h>

#include <cstdint>

#include "math/simd/sse/half_by_scale.h"
#include "math/simd/sse2/family.h"

namespace kubik::sse2 {
namespace {

struct Eight {
  __m128 lo, hi;
};

inline Eight PackedHalfToFloat(__m128i h) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i e = _mm_and_si128(h, _mm_set1_epi16(0x7c00));
  const __m128i mantissa = _mm_and_si128(h, _mm_set1_epi16(0x03ff));
  const __m128i sign = _mm_and_si128(h, _mm_set1_epi16(static_cast<short>(0x8000)));
  // The sign in the upper half of each widened lane: shifted by 16.
  const __m128i sign_lo = _mm_unpacklo_epi16(zero, sign);
  const __m128i sign_hi = _mm_unpackhi_epi16(zero, sign);
  const __m128i zero_exponent = _mm_cmpeq_epi16(e, zero);
  if (_mm_movemask_epi8(zero_exponent) == 0) {
    // (mantissa + e + 0x1c000) << 13 rebiases the exponent by 112.
    const __m128i me = _mm_add_epi16(mantissa, e);
    const __m128i bias = _mm_set1_epi32(0x0001c000);
    const __m128i lo = _mm_slli_epi32(_mm_add_epi32(_mm_unpacklo_epi16(me, zero), bias), 13);
    const __m128i hi = _mm_slli_epi32(_mm_add_epi32(_mm_unpackhi_epi16(me, zero), bias), 13);
    return {_mm_castsi128_ps(_mm_or_si128(lo, sign_lo)),
            _mm_castsi128_ps(_mm_or_si128(hi, sign_hi))};
  }
  const __m128i m = _mm_or_si128(mantissa, _mm_andnot_si128(zero_exponent, _mm_set1_epi16(0x0400)));
  const __m128i e_clamped = _mm_max_epi16(e, _mm_set1_epi16(0x0400));
  const __m128i bias = _mm_set1_epi32(0x00019800);
  const __m128i scale_lo = _mm_or_si128(
      _mm_slli_epi32(_mm_add_epi32(_mm_unpacklo_epi16(e_clamped, zero), bias), 13), sign_lo);
  const __m128i scale_hi = _mm_or_si128(
      _mm_slli_epi32(_mm_add_epi32(_mm_unpackhi_epi16(e_clamped, zero), bias), 13), sign_hi);
  return {_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(m, zero)), _mm_castsi128_ps(scale_lo)),
          _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(m, zero)), _mm_castsi128_ps(scale_hi))};
}

}  // namespace

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  const std::uint32_t blocked = n & ~7u;
  std::uint32_t i = 0;
  for (; i < blocked; i += 8) {
    const Eight f = PackedHalfToFloat(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
    _mm_storeu_ps(out + i, f.lo);
    _mm_storeu_ps(out + i + 4, f.hi);
  }
  for (; i < n; ++i) out[i] = sse::HalfToFloatByScale(in[i].value);
  return out;
}

}  // namespace kubik::sse2
