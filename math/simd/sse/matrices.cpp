// SSE matrix operations. Each reads all of its inputs before its first
// store, so the output may be any input.
#include <cmath>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"

namespace kubik::sse {
namespace {

Rows LoadRowsUnaligned(const KMMATRIX* m) {
  return {_mm_loadu_ps(m->m[0]), _mm_loadu_ps(m->m[1]), _mm_loadu_ps(m->m[2]),
          _mm_loadu_ps(m->m[3])};
}

// Row i of m1 x m2: the products of row i's four elements with the rows of
// m2, summed pairwise or in a chain.
template <bool Pairwise>
__m128 ProductRow(__m128 a, const Rows& b) {
  const __m128 p1 = _mm_mul_ps(Broadcast<0>(a), b.r1);
  const __m128 p2 = _mm_mul_ps(Broadcast<1>(a), b.r2);
  const __m128 p3 = _mm_mul_ps(Broadcast<2>(a), b.r3);
  const __m128 p4 = _mm_mul_ps(Broadcast<3>(a), b.r4);
  if constexpr (Pairwise) {
    return _mm_add_ps(_mm_add_ps(p1, p2), _mm_add_ps(p3, p4));
  } else {
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(p1, p2), p3), p4);
  }
}

// Rows 1 and 4 pairwise, rows 2 and 3 in a chain.
Rows Product(const KMMATRIX* m1, const KMMATRIX* m2) {
  const Rows b = LoadRowsUnaligned(m2);
  const Rows a = LoadRowsUnaligned(m1);
  return {ProductRow<true>(a.r1, b), ProductRow<false>(a.r2, b), ProductRow<false>(a.r3, b),
          ProductRow<true>(a.r4, b)};
}

void StoreRows(KMMATRIX* out, const Rows& r) {
  _mm_storeu_ps(out->m[0], r.r1);
  _mm_storeu_ps(out->m[1], r.r2);
  _mm_storeu_ps(out->m[2], r.r3);
  _mm_storeu_ps(out->m[3], r.r4);
}

template <bool Aligned>
float Determinant(const KMMATRIX* m) {
  const Rows r = LoadRows<Aligned>(m);
  const __m128 cofactors =
      _mm_xor_ps(MinorsWithoutColumn(r.r2, r.r3, r.r4), SignMask(kPlus, kMinus, kPlus, kMinus));
  const __m128 p = _mm_mul_ps(r.r1, cofactors);
  const __m128 halves = _mm_add_ps(p, _mm_movehl_ps(p, p));
  return _mm_cvtss_f32(_mm_add_ss(halves, Broadcast<1>(halves)));
}

// The plane with its normal scaled to unit length by the refined reciprocal
// square root of a^2 + b^2 + c^2.
__m128 SquaredNormalLength(__m128 plane) {
  const __m128 sq = _mm_mul_ps(plane, plane);
  return _mm_add_ss(_mm_add_ss(sq, Broadcast<1>(sq)), _mm_movehl_ps(sq, sq));
}

// d in lane I, -0.0 elsewhere: adding it changes lane I only, and keeps the
// sign of zeros in the other lanes.
template <int I>
__m128 InLane(__m128 d) {
  const __m128 minus_zero = _mm_set1_ps(-0.0f);
  alignas(16) std::uint32_t mask_bits[4] = {0, 0, 0, 0};
  mask_bits[I] = 0xffffffffu;
  const __m128 mask = _mm_load_ps(reinterpret_cast<const float*>(mask_bits));
  return _mm_or_ps(_mm_and_ps(mask, d), _mm_andnot_ps(mask, minus_zero));
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  StoreRows(out, Product(m1, m2));
  return out;
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  const KMMATRIX a = *m1;
  const KMMATRIX b = *m2;
  Rows p = Product(&a, &b);
  _MM_TRANSPOSE4_PS(p.r1, p.r2, p.r3, p.r4);
  // Columns 2 and 4 of the product by scalar multiply-adds.
  alignas(16) float column2[4], column4[4];
  for (int i = 0; i < 4; ++i) {
    column2[i] = a.m[i][0] * b.m[0][1] + a.m[i][1] * b.m[1][1] + a.m[i][2] * b.m[2][1] +
                 a.m[i][3] * b.m[3][1];
    column4[i] = a.m[i][0] * b.m[0][3] + a.m[i][1] * b.m[1][3] + a.m[i][2] * b.m[2][3] +
                 a.m[i][3] * b.m[3][3];
  }
  StoreRows(out, {p.r1, _mm_load_ps(column2), p.r3, _mm_load_ps(column4)});
  return out;
}

float KMMatrixDeterminant(const KMMATRIX* m) {
  return IsAligned16(m) ? Determinant<true>(m) : Determinant<false>(m);
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  // Transposed, the cofactors come out as the rows of the adjugate.
  Rows t = LoadRows<false>(m);
  _MM_TRANSPOSE4_PS(t.r1, t.r2, t.r3, t.r4);
  const __m128 plus_first = SignMask(kPlus, kMinus, kPlus, kMinus);
  const __m128 minus_first = SignMask(kMinus, kPlus, kMinus, kPlus);
  // A 3 x 3 determinant keeps its value under a cyclic change of its rows.
  const Rows adjugate = {_mm_xor_ps(MinorsWithoutColumn(t.r2, t.r3, t.r4), plus_first),
                         _mm_xor_ps(MinorsWithoutColumn(t.r1, t.r3, t.r4), minus_first),
                         _mm_xor_ps(MinorsWithoutColumn(t.r4, t.r1, t.r2), plus_first),
                         _mm_xor_ps(MinorsWithoutColumn(t.r3, t.r1, t.r2), minus_first)};

  // First column of m times its cofactors, summed (p2 + p4) + (p1 + p3).
  const __m128 p = _mm_mul_ps(t.r1, adjugate.r1);
  const __m128 halves = _mm_add_ps(p, _mm_movehl_ps(p, p));
  const __m128 det = _mm_add_ss(Broadcast<1>(halves), halves);
  const float det_value = _mm_cvtss_f32(det);
  // A zero or NaN determinant: nothing is written, not even the determinant.
  if (det_value == 0.0f || std::isnan(det_value)) return nullptr;
  if (determinant) *determinant = det_value;

  // The Newton step grouped as r0 * (2 - det * r0): the usual grouping
  // squares r0 first, which overflows once |det| is below about 5e-20 and
  // would spoil matrices that invert well (a uniform scale by 1e-5).
  const __m128 r0 = _mm_rcp_ps(Broadcast<0>(det));
  const __m128 inverse =
      _mm_mul_ps(r0, _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(Broadcast<0>(det), r0)));
  // A determinant whose reciprocal does not fit a float leaves no finite
  // inverse: report failure rather than a matrix of NaNs.
  if (!std::isfinite(_mm_cvtss_f32(inverse))) return nullptr;
  StoreRows(out, {_mm_mul_ps(adjugate.r1, inverse), _mm_mul_ps(adjugate.r2, inverse),
                  _mm_mul_ps(adjugate.r3, inverse), _mm_mul_ps(adjugate.r4, inverse)});
  return out;
}

KMMATRIX* KMMatrixShadow(KMMATRIX* out, const KMVECTOR4* light, const KMPLANE* plane) {
  const __m128 l = _mm_loadu_ps(&light->x);
  __m128 p = _mm_loadu_ps(&plane->a);
  const __m128 length = SquaredNormalLength(p);
  if (_mm_cvtss_f32(length) != 0.0f) {
    p = _mm_mul_ps(p, Broadcast<0>(ReciprocalSqrtBuilders(length)));
  }
  const __m128 pl = _mm_mul_ps(p, l);
  const __m128 halves = _mm_add_ps(pl, _mm_movehl_ps(pl, pl));
  const __m128 d = Broadcast<0>(_mm_add_ss(halves, Broadcast<1>(halves)));
  const __m128 minus_p = _mm_xor_ps(p, _mm_set1_ps(-0.0f));
  StoreRows(out, {_mm_add_ps(_mm_mul_ps(Broadcast<0>(minus_p), l), InLane<0>(d)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<1>(minus_p), l), InLane<1>(d)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<2>(minus_p), l), InLane<2>(d)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<3>(minus_p), l), InLane<3>(d))});
  return out;
}

KMMATRIX* KMMatrixReflect(KMMATRIX* out, const KMPLANE* plane) {
  __m128 p = _mm_loadu_ps(&plane->a);
  p = _mm_mul_ps(p, Broadcast<0>(ReciprocalSqrtBuilders(SquaredNormalLength(p))));
  const __m128 c = _mm_mul_ps(_mm_setr_ps(-2.0f, -2.0f, -2.0f, 0.0f), p);
  StoreRows(out, {_mm_add_ps(_mm_mul_ps(Broadcast<0>(p), c), _mm_setr_ps(1, 0, 0, 0)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<1>(p), c), _mm_setr_ps(0, 1, 0, 0)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<2>(p), c), _mm_setr_ps(0, 0, 1, 0)),
                  _mm_add_ps(_mm_mul_ps(Broadcast<3>(p), c), _mm_setr_ps(0, 0, 0, 1))});
  return out;
}

}  // namespace kubik::sse
