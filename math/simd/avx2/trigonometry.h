// Single-precision sine, cosine and arc cosine on four lanes with fused
// multiply-adds, for the AVX2 family's quaternion and rotation builders.
// Internal linkage, like common.h.
#pragma once

#include <immintrin.h>

#include "math/simd/kernel_constants.h"

namespace kubik::avx2 {
namespace {

struct SinesCosines {
  __m128 sine, cosine;
};

// Sines and cosines of four angles: the argument reduced by multiples of
// pi/2 in fused steps, then
// the kernels' odd and even polynomials on [-pi/4, pi/4]. Absolute error
// about 1e-7 for |x| up to a few thousand.
inline SinesCosines SineCosine(__m128 x) {
  using namespace kubik::kernels;
  const __m128 sign_bit = _mm_set1_ps(-0.0f);
  const __m128 a = _mm_andnot_ps(sign_bit, x);
  const __m128 k = _mm_round_ps(_mm_mul_ps(a, _mm_set1_ps(kTwoOverPi)),
                                _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  // pi/2 in two parts; each fused step rounds once, which for quadrants
  // below 2^15 keeps the reduced argument within an ulp or so.
  __m128 r = _mm_fnmadd_ps(k, _mm_set1_ps(1.57079637f), a);
  r = _mm_fnmadd_ps(k, _mm_set1_ps(-4.37113883e-8f), r);
  const __m128 z = _mm_mul_ps(r, r);

  __m128 s = _mm_fmadd_ps(_mm_set1_ps(kSine3), z, _mm_set1_ps(kSine2));
  s = _mm_fmadd_ps(s, z, _mm_set1_ps(kSine1));
  s = _mm_mul_ps(s, z);
  const __m128 sine = _mm_fmadd_ps(s, r, r);

  __m128 c = _mm_fmadd_ps(_mm_set1_ps(kCosine3), z, _mm_set1_ps(kCosine2));
  c = _mm_fmadd_ps(c, z, _mm_set1_ps(kCosine1));
  c = _mm_fmsub_ps(c, z, _mm_set1_ps(0.5f));
  const __m128 cosine = _mm_fmadd_ps(c, z, _mm_set1_ps(1.0f));

  // Quadrant q: sin = (s, c, -s, -c)[q], cos = (c, -s, -c, s)[q].
  const __m128i q = _mm_cvtps_epi32(k);
  const __m128 odd =
      _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(q, _mm_set1_epi32(1)), _mm_set1_epi32(1)));
  const __m128 sine_negative =
      _mm_castsi128_ps(_mm_slli_epi32(_mm_and_si128(q, _mm_set1_epi32(2)), 30));
  const __m128 cosine_negative = _mm_castsi128_ps(
      _mm_slli_epi32(_mm_and_si128(_mm_add_epi32(q, _mm_set1_epi32(1)), _mm_set1_epi32(2)), 30));
  SinesCosines result;
  result.sine = _mm_xor_ps(_mm_blendv_ps(sine, cosine, odd),
                           _mm_xor_ps(sine_negative, _mm_and_ps(x, sign_bit)));
  result.cosine = _mm_xor_ps(_mm_blendv_ps(cosine, sine, odd), cosine_negative);
  return result;
}

// acos x for x in [0, 1]: pi/2 - asin x below 1/2, 2 asin sqrt((1 - x) / 2)
// above, so that angles near 0 keep their relative accuracy. The arc sine
// polynomial on [0, 1/2] has a relative error near 3e-8.
inline __m128 ArcCosineOfNonNegative(__m128 x) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 upper = _mm_cmpgt_ps(x, half);
  const __m128 y = _mm_fnmadd_ps(half, x, half);  // (1 - x) / 2, exact above 1/2
  const __m128 z = _mm_blendv_ps(x, _mm_sqrt_ps(y), upper);
  const __m128 w = _mm_mul_ps(z, z);
  __m128 p = _mm_fmadd_ps(_mm_set1_ps(4.2163199048e-2f), w, _mm_set1_ps(2.4181311049e-2f));
  p = _mm_fmadd_ps(p, w, _mm_set1_ps(4.5470025998e-2f));
  p = _mm_fmadd_ps(p, w, _mm_set1_ps(7.4953002686e-2f));
  p = _mm_fmadd_ps(p, w, _mm_set1_ps(1.6666752422e-1f));
  const __m128 arc_sine = _mm_fmadd_ps(_mm_mul_ps(p, w), z, z);
  // pi/2 in two parts: the float nearest it and the remainder.
  const __m128 lower_result = _mm_add_ps(_mm_sub_ps(_mm_set1_ps(kubik::kernels::kHalfPi), arc_sine),
                                         _mm_set1_ps(-4.37113883e-8f));
  return _mm_blendv_ps(lower_result, _mm_add_ps(arc_sine, arc_sine), upper);
}

// The quaternion of a yaw, pitch and roll: the six sines and cosines of the
// half angles from one evaluation, then
// x = cr cy sp + sr sy cp, y = cr sy cp - sr cy sp,
// z = sr cy cp - cr sy sp, w = cr cy cp + sr sy sp.
inline __m128 YawPitchRollQuaternion(float yaw, float pitch, float roll) {
  const SinesCosines h =
      SineCosine(_mm_mul_ps(_mm_setr_ps(yaw, pitch, roll, 0.0f), _mm_set1_ps(0.5f)));
  const __m128 yp = _mm_unpacklo_ps(h.cosine, h.sine);  // (cy, sy, cp, sp)
  const __m128 r = _mm_unpackhi_ps(h.cosine, h.sine);   // (cr, sr, 1, 0)
  const __m128 first = _mm_mul_ps(_mm_mul_ps(_mm_permute_ps(r, _MM_SHUFFLE(0, 1, 0, 0)),
                                             _mm_permute_ps(yp, _MM_SHUFFLE(0, 0, 1, 0))),
                                  _mm_permute_ps(yp, _MM_SHUFFLE(2, 2, 2, 3)));
  const __m128 second = _mm_xor_ps(_mm_mul_ps(_mm_permute_ps(r, _MM_SHUFFLE(1, 0, 1, 1)),
                                              _mm_permute_ps(yp, _MM_SHUFFLE(1, 1, 0, 1))),
                                   _mm_setr_ps(0.0f, -0.0f, -0.0f, 0.0f));
  return _mm_fmadd_ps(second, _mm_permute_ps(yp, _MM_SHUFFLE(3, 3, 3, 2)), first);
}

}  // namespace
}  // namespace kubik::avx2
