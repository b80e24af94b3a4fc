// The normalisers' one shape, shared by the vector, quaternion and plane
// files of the NEON family: the squared length of the first `Length` lanes,
// the reference's two guards, then every lane divided by the length.
#pragma once

#include <arm_neon.h>

#include <cfloat>
#include <cmath>

#include "math/types/float_compare.h"

namespace kubik::neon {

// v with lanes from `Length` on cleared holds the part that sets the length.
template <int Length>
inline float32x4_t Normalized(float32x4_t v) {
  float32x4_t measured = v;
  if constexpr (Length < 4) measured = vsetq_lane_f32(0.0f, measured, 3);
  if constexpr (Length < 3) measured = vsetq_lane_f32(0.0f, measured, 2);
  const float length_sq = vaddvq_f32(vmulq_f32(measured, measured));
  // Already unit length: left exactly as it is.
  if (FloatNearlyEqual(length_sq, 1.0f)) return v;
  // Tiny, zero or NaN: the zero vector is the only defined answer.
  if (!(length_sq > FLT_MIN)) return vdupq_n_f32(0.0f);
  return vdivq_f32(v, vdupq_n_f32(std::sqrt(length_sq)));
}

}  // namespace kubik::neon
