// Matrix operations of the NEON family: products row by row with fused
// multiply-adds, the inverse from the 2 x 2 minors of row pairs, all in
// single-precision lanes. Every input is in registers before anything is
// stored, so the output may be any input.
#include <cmath>

#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"

namespace kubik::neon {
namespace {

Rows Product(const KMMATRIX* m1, const KMMATRIX* m2) {
  const Rows a = LoadRows(m1), b = LoadRows(m2);
  return {Times4(a.r0, b), Times4(a.r1, b), Times4(a.r2, b), Times4(a.r3, b)};
}

// The adjugate's rows (cofactor matrix transposed), from the six 2 x 2
// minors of rows 1, 2 (s) and of rows 3, 4 (c) over the column pairs
// (1 2) (1 3) (1 4) (2 3) (2 4) (3 4).
struct Adjugate {
  float32x4_t row[4];
};

Adjugate AdjugateOf(const Rows& m) {
  // Minors of one row pair for the column pairs 0..3, then 4, 5.
  auto minors = [](float32x4_t a, float32x4_t b, float32x4_t* low, float32x2_t* high) {
    const float32x4_t a_left = Swizzle<0, 0, 0, 1>(a), b_right = Swizzle<1, 2, 3, 2>(b);
    const float32x4_t b_left = Swizzle<0, 0, 0, 1>(b), a_right = Swizzle<1, 2, 3, 2>(a);
    *low = vfmsq_f32(vmulq_f32(a_left, b_right), b_left, a_right);
    const float32x2_t a_hl = vget_low_f32(Swizzle<1, 2, 1, 2>(a));
    const float32x2_t b_hl = vget_low_f32(Swizzle<1, 2, 1, 2>(b));
    const float32x2_t a_hr = vdup_laneq_f32(a, 3), b_hr = vdup_laneq_f32(b, 3);
    *high = vfms_f32(vmul_f32(a_hl, b_hr), b_hl, a_hr);
  };
  float32x4_t s_low, c_low;
  float32x2_t s_high, c_high;
  minors(m.r0, m.r1, &s_low, &s_high);
  minors(m.r2, m.r3, &c_low, &c_high);
  // K[n] = (c_n, c_n, s_n, s_n).
  const float32x2_t c01 = vget_low_f32(c_low), c23 = vget_high_f32(c_low);
  const float32x2_t s01 = vget_low_f32(s_low), s23 = vget_high_f32(s_low);
  const float32x4_t k[6] = {
      vcombine_f32(vdup_lane_f32(c01, 0), vdup_lane_f32(s01, 0)),
      vcombine_f32(vdup_lane_f32(c01, 1), vdup_lane_f32(s01, 1)),
      vcombine_f32(vdup_lane_f32(c23, 0), vdup_lane_f32(s23, 0)),
      vcombine_f32(vdup_lane_f32(c23, 1), vdup_lane_f32(s23, 1)),
      vcombine_f32(vdup_lane_f32(c_high, 0), vdup_lane_f32(s_high, 0)),
      vcombine_f32(vdup_lane_f32(c_high, 1), vdup_lane_f32(s_high, 1)),
  };
  // Column j of m in the lane order (row 2, row 1, row 4, row 3).
  float32x4_t col[4];
  {
    const float32x4x4_t t = {{m.r1, m.r0, m.r3, m.r2}};
    float columns[16];
    vst4q_f32(columns, t);
    for (int j = 0; j < 4; ++j) col[j] = vld1q_f32(columns + 4 * j);
  }
  const float32x4_t plus_first = {1.0f, -1.0f, 1.0f, -1.0f};
  const float32x4_t minus_first = {-1.0f, 1.0f, -1.0f, 1.0f};
  auto row = [&](float32x4_t sign, float32x4_t x0, float32x4_t k0, float32x4_t x1, float32x4_t k1,
                 float32x4_t x2, float32x4_t k2) {
    float32x4_t r = vmulq_f32(x0, k0);
    r = vfmsq_f32(r, x1, k1);
    r = vfmaq_f32(r, x2, k2);
    return vmulq_f32(r, sign);
  };
  return {{row(plus_first, col[1], k[5], col[2], k[4], col[3], k[3]),
           row(minus_first, col[0], k[5], col[2], k[2], col[3], k[1]),
           row(plus_first, col[0], k[4], col[1], k[2], col[3], k[0]),
           row(minus_first, col[0], k[3], col[1], k[1], col[2], k[0])}};
}

// Expansion along the first column: the adjugate's first row holds its
// cofactors.
float DeterminantOf(const Rows& m, const Adjugate& adjugate) {
  const float32x4_t first_column = {vgetq_lane_f32(m.r0, 0), vgetq_lane_f32(m.r1, 0),
                                    vgetq_lane_f32(m.r2, 0), vgetq_lane_f32(m.r3, 0)};
  return vaddvq_f32(vmulq_f32(first_column, adjugate.row[0]));
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  StoreRows(out, Product(m1, m2));
  return out;
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  const Rows p = Product(m1, m2);
  // Interleaving the four rows on the way out stores the transpose.
  vst4q_f32(&out->_11, (float32x4x4_t{{p.r0, p.r1, p.r2, p.r3}}));
  return out;
}

float KMMatrixDeterminant(const KMMATRIX* m) {
  const Rows rows = LoadRows(m);
  return DeterminantOf(rows, AdjugateOf(rows));
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  const Rows rows = LoadRows(m);
  const Adjugate adjugate = AdjugateOf(rows);
  const float det = DeterminantOf(rows, adjugate);
  // The caller gets the determinant even when the inverse fails.
  if (determinant != nullptr) *determinant = det;
  if (det == 0.0f) return nullptr;
  const float inverse = 1.0f / det;
  if (!std::isfinite(inverse)) return nullptr;  // det too small for its reciprocal, or NaN
  StoreRows(out, {vmulq_n_f32(adjugate.row[0], inverse), vmulq_n_f32(adjugate.row[1], inverse),
                  vmulq_n_f32(adjugate.row[2], inverse), vmulq_n_f32(adjugate.row[3], inverse)});
  return out;
}

KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  // The doubled components and their products, rounded to float once and
  // reused as the reference does; the sums in lanes.
  const float x2 = q->x * 2.0f, y2 = q->y * 2.0f, z2 = q->z * 2.0f, w = q->w;
  const float xx = x2 * q->x, yy = y2 * q->y, zz = z2 * q->z;
  const float xy = x2 * q->y, xz = x2 * q->z, yz = y2 * q->z;
  const float one_minus_xx = 1.0f - xx;
  const float32x4_t base0 = {1.0f - yy, xy, xz, 0.0f};
  const float32x4_t base1 = {xy, one_minus_xx, yz, 0.0f};
  const float32x4_t base2 = {xz, yz, one_minus_xx, 0.0f};
  const float32x4_t less0 = {zz, -z2, y2, 0.0f};
  const float32x4_t less1 = {z2, zz, -x2, 0.0f};
  const float32x4_t less2 = {-y2, x2, yy, 0.0f};
  // Diagonal lanes subtract a square; the others add or subtract 2 w times
  // a component.
  const float32x4_t w0 = {1.0f, w, w, 0.0f}, w1 = {w, 1.0f, w, 0.0f}, w2 = {w, w, 1.0f, 0.0f};
  StoreRows(out, {vfmsq_f32(base0, less0, w0), vfmsq_f32(base1, less1, w1),
                  vfmsq_f32(base2, less2, w2), float32x4_t{0.0f, 0.0f, 0.0f, 1.0f}});
  return out;
}

}  // namespace kubik::neon
