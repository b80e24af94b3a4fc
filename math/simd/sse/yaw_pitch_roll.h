// The yaw-pitch-roll quaternion builder of both SIMD families, on the
// packed sine-cosine kernel each family passes in.
#pragma once

#include "math/simd/sse/common.h"

namespace kubik::sse {
namespace {

using PackedSineCosineKernel = void (*)(const float*, float*, float*);

template <PackedSineCosineKernel Kernel>
KMQUATERNION* YawPitchRollWith(KMQUATERNION* out, float yaw, float pitch, float roll) {
  alignas(16) float half_angles[4];
  alignas(16) float sines[4];
  alignas(16) float cosines[4];
  _mm_store_ps(half_angles, _mm_mul_ps(_mm_setr_ps(roll, pitch, yaw, 0.0f), _mm_set1_ps(0.5f)));
  Kernel(half_angles, sines, cosines);
  const __m128 s = _mm_load_ps(sines);    // (sr, sp, sy, 0)
  const __m128 c = _mm_load_ps(cosines);  // (cr, cp, cy, 1)

  const __m128 sc_low = _mm_unpacklo_ps(s, c);   // (sr, cr, sp, cp)
  const __m128 cs_low = _mm_unpacklo_ps(c, s);   // (cr, sr, cp, sp)
  const __m128 sc_high = _mm_unpackhi_ps(s, c);  // (sy, cy, 0, 1)

  // x = (cr cy) sp + (sr sy) cp      y = (cr sy) cp - (sr cy) sp
  // z = (sr cy) cp - (cr sy) sp      w = (cr cy) cp + (sr sy) sp
  const __m128 roll1 = _mm_shuffle_ps(c, sc_low, KUBIK_LANES(0, 0, 0, 1));   // cr cr sr cr
  const __m128 yaw1 = _mm_shuffle_ps(sc_high, c, KUBIK_LANES(1, 0, 2, 2));   // cy sy cy cy
  const __m128 pitch1 = _mm_shuffle_ps(sc_low, c, KUBIK_LANES(2, 3, 1, 1));  // sp cp cp cp
  const __m128 roll2 = _mm_shuffle_ps(s, cs_low, KUBIK_LANES(0, 0, 0, 1));   // sr sr cr sr
  const __m128 yaw2 = _mm_shuffle_ps(sc_high, s, KUBIK_LANES(0, 1, 2, 2));   // sy cy sy sy
  const __m128 pitch2 = _mm_shuffle_ps(sc_low, s, KUBIK_LANES(3, 2, 1, 1));  // cp sp sp sp
  const __m128 first = _mm_mul_ps(_mm_mul_ps(roll1, yaw1), pitch1);
  const __m128 second = _mm_xor_ps(_mm_mul_ps(_mm_mul_ps(roll2, yaw2), pitch2),
                                   SignMask(kPlus, kMinus, kMinus, kPlus));
  _mm_storeu_ps(&out->x, _mm_add_ps(first, second));
  return out;
}

}  // namespace
}  // namespace kubik::sse
