// Four-lane helpers of the NEON family: records in and out of registers
// touching exactly their own bytes, and row vectors times a matrix.
#pragma once

#include <arm_neon.h>
#include <kubik/kmath.h>

#include <cstring>

namespace kubik::neon {

// A 3-component record as (x, y, z, 0): 12 bytes read, never 16.
inline float32x4_t Load3(const float* p) {
  return vcombine_f32(vld1_f32(p), vld1_lane_f32(p + 2, vdup_n_f32(0.0f), 0));
}
inline float32x4_t Load2(const float* p) {
  return vcombine_f32(vld1_f32(p), vdup_n_f32(0.0f));
}
inline void Store3(float* p, float32x4_t v) {
  vst1_f32(p, vget_low_f32(v));
  vst1q_lane_f32(p + 2, v, 2);
}
inline void Store2(float* p, float32x4_t v) {
  vst1_f32(p, vget_low_f32(v));
}

struct Rows {
  float32x4_t r0, r1, r2, r3;
};

inline Rows LoadRows(const KMMATRIX* m) {
  return {vld1q_f32(&m->_11), vld1q_f32(&m->_21), vld1q_f32(&m->_31), vld1q_f32(&m->_41)};
}

inline void StoreRows(KMMATRIX* m, const Rows& rows) {
  vst1q_f32(&m->_11, rows.r0);
  vst1q_f32(&m->_21, rows.r1);
  vst1q_f32(&m->_31, rows.r2);
  vst1q_f32(&m->_41, rows.r3);
}

// v x M for the row vector v = (x, y, z, w): each lane fused into the sum.
inline float32x4_t Times4(float32x4_t v, const Rows& m) {
  float32x4_t r = vmulq_laneq_f32(m.r0, v, 0);
  r = vfmaq_laneq_f32(r, m.r1, v, 1);
  r = vfmaq_laneq_f32(r, m.r2, v, 2);
  return vfmaq_laneq_f32(r, m.r3, v, 3);
}

// (x, y, z, 1) x M and (x, y, 1) x M (the point forms).
inline float32x4_t PointTimes3(float32x4_t v, const Rows& m) {
  float32x4_t r = vfmaq_laneq_f32(m.r3, m.r0, v, 0);
  r = vfmaq_laneq_f32(r, m.r1, v, 1);
  return vfmaq_laneq_f32(r, m.r2, v, 2);
}
inline float32x4_t PointTimes2(float32x4_t v, const Rows& m) {
  const float32x4_t r = vfmaq_laneq_f32(m.r3, m.r0, v, 0);
  return vfmaq_laneq_f32(r, m.r1, v, 1);
}

// (x, y, z, 0) x M and (x, y, 0) x M (the direction forms).
inline float32x4_t DirectionTimes3(float32x4_t v, const Rows& m) {
  float32x4_t r = vmulq_laneq_f32(m.r0, v, 0);
  r = vfmaq_laneq_f32(r, m.r1, v, 1);
  return vfmaq_laneq_f32(r, m.r2, v, 2);
}
inline float32x4_t DirectionTimes2(float32x4_t v, const Rows& m) {
  return vfmaq_laneq_f32(vmulq_laneq_f32(m.r0, v, 0), m.r1, v, 1);
}

// Divides every lane by w unless w is within 2^-23 of 1 (the reference's
// tolerance test; w - 1 is exact there). No test for w = 0: IEEE results.
inline float32x4_t DivideByW(float32x4_t r, float32x4_t w) {
  const float32x4_t one = vdupq_n_f32(1.0f);
  const uint32x4_t nearly_one = vcaleq_f32(vsubq_f32(w, one), vdupq_n_f32(0x1p-23f));
  return vdivq_f32(r, vbslq_f32(nearly_one, one, w));
}

// Lanes a..d of v, for constant lane numbers.
template <int A, int B, int C, int D>
inline float32x4_t Swizzle(float32x4_t v) {
  return __builtin_shufflevector(v, v, A, B, C, D);
}

}  // namespace kubik::neon
