// Quaternion operations of the NEON family: the product as four lane
// shuffles fused into one sum, the normaliser's guards as in the reference,
// slerp in double lanes, and the yaw-pitch-roll builder from single-precision
// sines and cosines combined in lanes.
#include <cmath>

#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"
#include "math/simd/neon/normalize.h"

namespace kubik::neon {

KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2) {
  // q1 first, then q2: the Hamilton product q2 q1, as
  // bw a + bx (aw, -az, ay, -ax) + by (az, aw, -ax, -ay) + bz (-ay, ax, aw, -az).
  const float32x4_t a = vld1q_f32(&q1->x), b = vld1q_f32(&q2->x);
  const float32x4_t x_signs = {1.0f, -1.0f, 1.0f, -1.0f};
  const float32x4_t y_signs = {1.0f, 1.0f, -1.0f, -1.0f};
  const float32x4_t z_signs = {-1.0f, 1.0f, 1.0f, -1.0f};
  float32x4_t r = vmulq_laneq_f32(a, b, 3);
  r = vfmaq_laneq_f32(r, vmulq_f32(Swizzle<3, 2, 1, 0>(a), x_signs), b, 0);
  r = vfmaq_laneq_f32(r, vmulq_f32(Swizzle<2, 3, 0, 1>(a), y_signs), b, 1);
  r = vfmaq_laneq_f32(r, vmulq_f32(Swizzle<1, 0, 3, 2>(a), z_signs), b, 2);
  vst1q_f32(&out->x, r);
  return out;
}

KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  vst1q_f32(&out->x, Normalized<4>(vld1q_f32(&q->x)));
  return out;
}

KMQUATERNION* KMQuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                                float t) {
  // In double lanes, two components per register: with t far outside
  // [0, 1] the weights grow large and cancel in the blend, and the angle's
  // last bit is multiplied by t, so single precision would not follow the
  // reference's rounding of the angle to float.
  const float32x4_t a = vld1q_f32(&q1->x), b = vld1q_f32(&q2->x);
  const float64x2_t a_low = vcvt_f64_f32(vget_low_f32(a)), a_high = vcvt_high_f64_f32(a);
  const float64x2_t b_low = vcvt_f64_f32(vget_low_f32(b)), b_high = vcvt_high_f64_f32(b);
  // Products of floats are exact in double.
  const double dot = vaddvq_f64(vfmaq_f64(vmulq_f64(a_low, b_low), a_high, b_high));
  // Take the shorter arc: interpolate towards -q2 when the two point apart.
  const double sign = dot < 0.0 ? -1.0 : 1.0;
  const double d = sign * dot;
  double k0, k1;
  if (1.0 - d > 0x1p-23) {
    const double s = std::sqrt(1.0 - d * d);
    const float angle =
        static_cast<float>(std::atan2(s, static_cast<double>(static_cast<float>(d))));
    const float r = static_cast<float>(1.0 / s);
    k0 = std::sin((1.0 - t) * angle) * r;
    k1 = std::sin(static_cast<double>(t) * angle) * r;
  } else {
    // Nearly parallel: the sine of the angle is too small to divide by.
    k0 = 1.0 - t;
    k1 = t;
  }
  k1 *= sign;
  const float64x2_t low = vfmaq_n_f64(vmulq_n_f64(a_low, k0), b_low, k1);
  const float64x2_t high = vfmaq_n_f64(vmulq_n_f64(a_high, k0), b_high, k1);
  vst1q_f32(&out->x, vcvt_high_f32_f64(vcvt_f32_f64(low), high));
  return out;
}

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  // Sines and cosines of the half angles, each rounded to float.
  float ys, yc, ps, pc, rs, rc;
  sincosf(yaw * 0.5f, &ys, &yc);
  sincosf(pitch * 0.5f, &ps, &pc);
  sincosf(roll * 0.5f, &rs, &rc);
  // x = rc yc ps + rs ys pc, y = rc ys pc - rs yc ps,
  // z = rs yc pc - rc ys ps, w = rc yc pc + rs ys ps.
  const float32x4_t u1 = {rc, rc, rs, rc}, v1 = {yc, ys, yc, yc}, w1 = {ps, pc, pc, pc};
  const float32x4_t u2 = {rs, rs, rc, rs}, v2 = {ys, yc, ys, ys}, w2 = {pc, -ps, -ps, ps};
  const float32x4_t first = vmulq_f32(vmulq_f32(u1, v1), w1);
  vst1q_f32(&out->x, vfmaq_f32(first, vmulq_f32(u2, v2), w2));
  return out;
}

}  // namespace kubik::neon
