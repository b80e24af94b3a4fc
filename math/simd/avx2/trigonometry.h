// Single-precision sine, cosine and arc cosine with fused multiply-adds, for
// the AVX2 family's quaternion and rotation builders. Internal linkage, like
// common.h.
#pragma once

#include <immintrin.h>

#include "math/simd/kernel_constants.h"

namespace kubik::avx2 {
namespace {

// The sines of four angles in the low half, their cosines in the high half.
// The argument is reduced by the nearest multiple k of pi/2 in fused steps;
// one polynomial evaluation then gives the kernels' odd polynomial on
// [-pi/4, pi/4] in the low half and the even one in the high half, and a
// lane permutation by the quadrant puts each where it belongs:
// sin = (s, c, -s, -c)[k mod 4], cos = sin of quadrant k + 1. Absolute
// error about 1e-7 for |x| up to a few thousand.
inline __m256 SinesAndCosines(__m128 angles) {
  using namespace kubik::kernels;
  const __m256 x = _mm256_set_m128(angles, angles);
  // x 2/pi plus 1.5 2^23 rounds to the nearest integer k and leaves
  // k mod 2^22 in the low bits of the sum, for either sign of x.
  const __m256 bias = _mm256_set1_ps(0x1.8p23f);
  const __m256 biased = _mm256_fmadd_ps(x, _mm256_set1_ps(kTwoOverPi), bias);
  const __m256 k = _mm256_sub_ps(biased, bias);
  // pi/2 in two parts; each fused step rounds once, which for quadrants
  // below 2^15 keeps the reduced argument within an ulp or so.
  __m256 r = _mm256_fnmadd_ps(k, _mm256_set1_ps(1.57079637f), x);
  r = _mm256_fnmadd_ps(k, _mm256_set1_ps(-4.37113883e-8f), r);
  const __m256 z = _mm256_mul_ps(r, r);

  // Low half: s(z) with sin r = r + r z s(z); high half: c(z) with
  // cos r = 1 + z c(z). Estrin's scheme: two independent pairs, then one step.
  const __m256 c3 = _mm256_setr_ps(0, 0, 0, 0, kCosine3, kCosine3, kCosine3, kCosine3);
  const __m256 c2 =
      _mm256_setr_ps(kSine3, kSine3, kSine3, kSine3, kCosine2, kCosine2, kCosine2, kCosine2);
  const __m256 c1 =
      _mm256_setr_ps(kSine2, kSine2, kSine2, kSine2, kCosine1, kCosine1, kCosine1, kCosine1);
  const __m256 c0 = _mm256_setr_ps(kSine1, kSine1, kSine1, kSine1, -0.5f, -0.5f, -0.5f, -0.5f);
  const __m256 low = _mm256_fmadd_ps(c1, z, c0);
  const __m256 high = _mm256_fmadd_ps(c3, z, c2);
  const __m256 poly = _mm256_fmadd_ps(high, _mm256_mul_ps(z, z), low);
  const __m256 base = _mm256_blend_ps(r, _mm256_set1_ps(1.0f), 0xf0);  // (r | 1)
  const __m256 kernels = _mm256_fmadd_ps(poly, _mm256_mul_ps(z, base), base);

  // Lane i of either half takes the other half's kernel where its quadrant
  // (k for the sines, k + 1 for the cosines) is odd: the permutation uses
  // the index's low three bits, i + 4 (k mod 2) + 4 for the high half.
  const __m256i quadrant = _mm256_castps_si256(biased);
  const __m256i index =
      _mm256_add_epi32(_mm256_slli_epi32(quadrant, 2), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const __m256i shifted = _mm256_add_epi32(quadrant, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
  // Negative in quadrants 2 and 3.
  const __m256 sign = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_srli_epi32(shifted, 1), 31));
  return _mm256_xor_ps(_mm256_permutevar8x32_ps(kernels, index), sign);
}

// The sines of four angles: x = k pi + r with |r| <= pi/2, sin x =
// (-1)^k sin r, and sin r = r + r z q(z), z = r^2, with q of degree 3
// fitted on [0, (pi/2)^2] for the least largest error in sin r (2e-8 with
// the coefficients rounded to float). One polynomial and a sign: about a
// tenth faster in the slerp than SinesAndCosines, at an absolute error of
// 1.4e-7 near |sin x| = 1 against 7e-8, for |x| up to a few thousand.
inline __m128 Sines(__m128 x) {
  auto c = [](float v) { return _mm_set1_ps(v); };
  // x / pi plus 1.5 2^23 rounds to the nearest integer k, whose parity is
  // the low bit of the sum, for either sign of x.
  const __m128 biased = _mm_fmadd_ps(x, c(0.318309873f), c(0x1.8p23f));
  const __m128 k = _mm_sub_ps(biased, c(0x1.8p23f));
  // pi in two parts, the float nearest it and the remainder; the
  // remainder's product is formed alongside the first step.
  const __m128 r =
      _mm_sub_ps(_mm_fnmadd_ps(k, c(3.14159274f), x), _mm_mul_ps(k, c(-8.74227766e-8f)));
  const __m128 z = _mm_mul_ps(r, r);
  const __m128 low = _mm_fmadd_ps(c(8.3330171183e-3f), z, c(-1.6666656733e-1f));
  const __m128 high = _mm_fmadd_ps(c(2.6000245725e-6f), z, c(-1.9806601631e-4f));
  const __m128 q = _mm_fmadd_ps(high, _mm_mul_ps(z, z), low);
  const __m128 sine = _mm_fmadd_ps(q, _mm_mul_ps(z, r), r);
  return _mm_xor_ps(sine, _mm_castsi128_ps(_mm_slli_epi32(_mm_castps_si128(biased), 31)));
}

// acos x for x in [0, 1] as sqrt(1 - x) p(x), p of degree 7 fitted, with
// its coefficients rounded to float, for the least error relative to the
// angle (3e-8), so that angles near 0 keep their relative accuracy; p(0) is
// the float nearest pi/2. p = a0 + x q(x) with q by Estrin's scheme: its
// rounding errors reach p scaled by x q / p, below 0.15, and the whole of
// it is formed while the square root is. The factors are returned apart, so
// that a caller can scale p before the root is ready.
struct ArcCosineFactors {
  __m128 root, poly;
};

inline ArcCosineFactors ArcCosineOfNonNegativeFactors(__m128 x) {
  auto c = [](float v) { return _mm_set1_ps(v); };
  const __m128 x2 = _mm_mul_ps(x, x);
  const __m128 x4 = _mm_mul_ps(x2, x2);
  const __m128 q12 = _mm_fmadd_ps(c(8.9037761092e-2f), x, c(-2.1460320055e-1f));
  const __m128 q34 = _mm_fmadd_ps(c(3.1718377024e-2f), x, c(-5.0488412380e-2f));
  const __m128 q56 = _mm_fmadd_ps(c(7.4590574950e-3f), x, c(-1.8227245659e-2f));
  const __m128 q14 = _mm_fmadd_ps(q34, x2, q12);
  const __m128 q57 = _mm_fmadd_ps(c(-1.4791835565e-3f), x2, q56);
  const __m128 q = _mm_fmadd_ps(q57, x4, q14);
  return {_mm_sqrt_ps(_mm_sub_ps(c(1.0f), x)), _mm_fmadd_ps(q, x, c(kubik::kernels::kHalfPi))};
}

// The quaternion of a yaw, pitch and roll: the six sines and cosines of the
// half angles from one evaluation, then
// x = cr cy sp + sr sy cp, y = cr sy cp - sr cy sp,
// z = sr cy cp - cr sy sp, w = cr cy cp + sr sy sp.
inline __m128 YawPitchRollQuaternion(float yaw, float pitch, float roll) {
  const __m256 h =
      SinesAndCosines(_mm_mul_ps(_mm_setr_ps(yaw, pitch, roll, 0.0f), _mm_set1_ps(0.5f)));
  const __m128 sine = _mm256_castps256_ps128(h), cosine = _mm256_extractf128_ps(h, 1);
  const __m128 yp = _mm_unpacklo_ps(cosine, sine);  // (cy, sy, cp, sp)
  const __m128 r = _mm_unpackhi_ps(cosine, sine);   // (cr, sr, 1, 0)
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
