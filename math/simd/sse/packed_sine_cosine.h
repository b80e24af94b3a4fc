// The floating-point part of PackedSineCosine, shared by its SSE and SSE2
// forms. Everything here has internal linkage, so each form compiles its own
// copy with its own instruction-set flags; only SSE instructions are used.
#pragma once

#include <xmmintrin.h>

#include <cstdint>

#include "math/simd/kernel_constants.h"

namespace kubik::kernels {
namespace {

alignas(16) constexpr std::uint32_t kPackedMagnitudeMask[4] = {kMagnitudeMask, kMagnitudeMask,
                                                               kMagnitudeMask, kMagnitudeMask};
alignas(16) constexpr std::uint32_t kPackedSignMask[4] = {kSignMask, kSignMask, kSignMask,
                                                          kSignMask};

inline __m128 LoadPackedBits(const std::uint32_t* bits) {
  return _mm_load_ps(reinterpret_cast<const float*>(bits));
}

struct PackedPolynomials {
  __m128 sign;    // sign bit of each angle
  __m128 biased;  // |x| * 2/pi + 2^23: the quadrant sits in its low mantissa bits
  __m128 sine;    // sine polynomial of the reduced argument
  __m128 cosine;  // cosine polynomial of the reduced argument
};

inline PackedPolynomials EvaluatePackedPolynomials(__m128 x) {
  PackedPolynomials p;
  const __m128 a = _mm_and_ps(x, LoadPackedBits(kPackedMagnitudeMask));
  p.sign = _mm_and_ps(x, LoadPackedBits(kPackedSignMask));
  const __m128 bias = _mm_set1_ps(kRoundingBias);
  p.biased = _mm_add_ps(_mm_mul_ps(a, _mm_set1_ps(kTwoOverPi)), bias);
  const __m128 k = _mm_sub_ps(p.biased, bias);

  __m128 r = _mm_sub_ps(a, _mm_mul_ps(k, _mm_set1_ps(kHalfPi1)));
  r = _mm_sub_ps(r, _mm_mul_ps(k, _mm_set1_ps(kHalfPi2)));
  r = _mm_sub_ps(r, _mm_mul_ps(k, _mm_set1_ps(kHalfPi3)));
  r = _mm_sub_ps(r, _mm_mul_ps(k, _mm_set1_ps(kHalfPi4)));
  const __m128 z = _mm_mul_ps(r, r);
  const __m128 one = _mm_set1_ps(1.0f);

  __m128 s = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kSine3), z), _mm_set1_ps(kSine2));
  s = _mm_add_ps(_mm_mul_ps(s, z), _mm_set1_ps(kSine1));
  s = _mm_add_ps(_mm_mul_ps(s, z), one);
  p.sine = _mm_mul_ps(s, r);

  __m128 c = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kCosine3), z), _mm_set1_ps(kCosine2));
  c = _mm_add_ps(_mm_mul_ps(c, z), _mm_set1_ps(kCosine1));
  c = _mm_sub_ps(_mm_mul_ps(c, z), _mm_set1_ps(0.5f));
  p.cosine = _mm_add_ps(_mm_mul_ps(c, z), one);
  return p;
}

// odd: all ones in the lanes of odd quadrants; the sign words hold only
// their sign bits.
inline void SelectAndStore(const PackedPolynomials& p, __m128 odd, __m128 sine_sign,
                           __m128 cosine_sign, float* sines, float* cosines) {
  __m128 sine = _mm_or_ps(_mm_and_ps(odd, p.cosine), _mm_andnot_ps(odd, p.sine));
  __m128 cosine = _mm_or_ps(_mm_and_ps(odd, p.sine), _mm_andnot_ps(odd, p.cosine));
  sine = _mm_xor_ps(_mm_xor_ps(sine, sine_sign), p.sign);
  cosine = _mm_xor_ps(cosine, cosine_sign);
  _mm_store_ps(sines, sine);
  _mm_store_ps(cosines, cosine);
}

}  // namespace
}  // namespace kubik::kernels
