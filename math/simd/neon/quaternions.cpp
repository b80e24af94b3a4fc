// Quaternion operations of the NEON family: the product as four lane
// shuffles fused into one sum, the normaliser's guards as in the reference,
// and slerp and the yaw-pitch-roll builder with their angles in single
// precision and the blend in lanes.
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
  const float32x4_t a = vld1q_f32(&q1->x), b = vld1q_f32(&q2->x);
  const float dot = vaddvq_f32(vmulq_f32(a, b));
  // Take the shorter arc: interpolate towards -q2 when the two point apart.
  const float sign = dot < 0.0f ? -1.0f : 1.0f;
  const float d = sign * dot;
  float k0, k1;
  if (1.0f - d > 0x1p-23f) {
    // sin of the angle from 1 - d^2 with one rounding; the weights
    // sin((1 - t) angle) / sin(angle) and sin(t angle) / sin(angle) depend
    // on the angle smoothly, so its single-precision error stays small.
    // Their arguments are formed in double: t may lie far outside [0, 1],
    // and t angle rounded to float would move the sine by its last bit.
    const float s = std::sqrt(std::fma(-d, d, 1.0f));
    const double angle = std::atan2(s, d);
    k0 = static_cast<float>(std::sin((1.0 - t) * angle) / s);
    k1 = static_cast<float>(std::sin(t * angle) / s);
  } else {
    // Nearly parallel: the sine of the angle is too small to divide by.
    k0 = 1.0f - t;
    k1 = t;
  }
  vst1q_f32(&out->x, vfmaq_n_f32(vmulq_n_f32(a, k0), b, k1 * sign));
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
