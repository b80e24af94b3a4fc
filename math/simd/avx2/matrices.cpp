// AVX2 matrix operations: two rows per 256-bit register, products formed
// with fused multiply-adds. Every input is read before the first store, so
// the output may be any input.
#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"
#include "math/simd/avx2/trigonometry.h"

namespace kubik::avx2 {
namespace {

// Rows 1-2 and 3-4 of m1 x m2: element k of each row broadcast within its
// half, times row k of m2 in both halves, summed in one fused chain.
RowPairs Product(const KMMATRIX* m1, const KMMATRIX* m2) {
  const __m256 b1 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m2->m[0]));
  const __m256 b2 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m2->m[1]));
  const __m256 b3 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m2->m[2]));
  const __m256 b4 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m2->m[3]));
  const RowPairs a = LoadRowPairs(m1);
  auto rows = [&](__m256 r) {
    __m256 sum = _mm256_mul_ps(BroadcastInHalves<0>(r), b1);
    sum = _mm256_fmadd_ps(BroadcastInHalves<1>(r), b2, sum);
    sum = _mm256_fmadd_ps(BroadcastInHalves<2>(r), b3, sum);
    return _mm256_fmadd_ps(BroadcastInHalves<3>(r), b4, sum);
  };
  return {rows(a.r12), rows(a.r34)};
}

void StoreRowPairs(KMMATRIX* out, const RowPairs& r) {
  _mm256_storeu_ps(out->m[0], r.r12);
  _mm256_storeu_ps(out->m[2], r.r34);
}

// The 4 x 4 transpose of two row pairs.
RowPairs Transpose(const RowPairs& r) {
  const __m256 lo = _mm256_unpacklo_ps(r.r12, r.r34);  // (11 31 12 32 | 21 41 22 42)
  const __m256 hi = _mm256_unpackhi_ps(r.r12, r.r34);  // (13 33 14 34 | 23 43 24 44)
  const __m256 a = _mm256_permute2f128_ps(lo, hi, 0x20);
  const __m256 b = _mm256_permute2f128_ps(lo, hi, 0x31);
  const __m256 c13 = _mm256_unpacklo_ps(a, b);  // columns 1 and 3
  const __m256 c24 = _mm256_unpackhi_ps(a, b);  // columns 2 and 4
  return {_mm256_permute2f128_ps(c13, c24, 0x20), _mm256_permute2f128_ps(c13, c24, 0x31)};
}

// The cofactors of a matrix whose rows 1 and 3 are x (low | high half)
// and rows 2 and 4 are y. Each half's two rows give their six 2 x 2 minors
// (each rounded once), laid out in the pattern the expansion needs. A row's
// cofactors are three products of its partner's elements and the other
// pair's minors in one fused chain, so each half expands the rows of the
// other half: the partners' element patterns are read across the halves,
// not the minors. Both pairs of cofactor rows come out multiplied by
// (+1, -1, +1, -1) in each half.
struct Cofactors {
  __m256 rows31, rows42;
};

// Elements (1, 0, 0, 0), (2, 2, 1, 1) and (3, 3, 3, 2) of each half's row:
// the patterns the minors and the expansion take.
struct ElementPatterns {
  __m256 e1000, e2211, e3332;
};

ElementPatterns Patterns(__m256 rows) {
  return {_mm256_permute_ps(rows, KUBIK_AVX2_LANES(1, 0, 0, 0)),
          _mm256_permute_ps(rows, KUBIK_AVX2_LANES(2, 2, 1, 1)),
          _mm256_permute_ps(rows, KUBIK_AVX2_LANES(3, 3, 3, 2))};
}

Cofactors CofactorsOfRowPairs(const KMMATRIX* m) {
  // Rows 1 and 3 (x) and 2 and 4 (y), and the same with the halves swapped:
  // in-lane shuffles of those give the other half's patterns, where
  // permutes across the halves would wait longer. Each is a blend of two
  // rows broadcast from memory, which keeps the shuffle pipes free.
  auto row = [m](int i) { return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[i])); };
  const __m256 row1 = row(0), row2 = row(1), row3 = row(2), row4 = row(3);
  const ElementPatterns x = Patterns(_mm256_blend_ps(row1, row3, 0xf0));
  const ElementPatterns y = Patterns(_mm256_blend_ps(row2, row4, 0xf0));
  const ElementPatterns x_other = Patterns(_mm256_blend_ps(row3, row1, 0xf0));
  const ElementPatterns y_other = Patterns(_mm256_blend_ps(row4, row2, 0xf0));
  // Minor ij: columns i and j of the half's two rows.
  const __m256 m23_23_13_12 = _mm256_fmsub_ps(x.e2211, y.e3332, _mm256_mul_ps(x.e3332, y.e2211));
  const __m256 m13_03_03_02 = _mm256_fmsub_ps(x.e1000, y.e3332, _mm256_mul_ps(x.e3332, y.e1000));
  const __m256 m12_02_01_01 = _mm256_fmsub_ps(x.e1000, y.e2211, _mm256_mul_ps(x.e2211, y.e1000));
  // Each half: the cofactors of the other half's row of x, from its partner
  // in y and this half's minors; then those of the other half's row of y,
  // from its partner in x, with the opposite sign.
  return {_mm256_fmadd_ps(y_other.e3332, m12_02_01_01,
                          _mm256_fnmadd_ps(y_other.e2211, m13_03_03_02,
                                           _mm256_mul_ps(y_other.e1000, m23_23_13_12))),
          _mm256_fnmadd_ps(x_other.e3332, m12_02_01_01,
                           _mm256_fmsub_ps(x_other.e2211, m13_03_03_02,
                                           _mm256_mul_ps(x_other.e1000, m23_23_13_12)))};
}

// The rotation of a quaternion, as the reference forms it: the doubled
// components and their products rounded to float, each off-diagonal element
// a product and a float summed with one rounding (a fused multiply-add),
// each diagonal one (1 - a) - b.
void StoreRotation(KMMATRIX* out, __m128 q) {
  const __m128 d = _mm_add_ps(q, q);        // (x2, y2, z2, w2)
  const __m128 squares = _mm_mul_ps(d, q);  // (xx, yy, zz, ww)
  const __m128 diagonal = _mm_sub_ps(
      _mm_sub_ps(_mm_set1_ps(1.0f), _mm_permute_ps(squares, KUBIK_AVX2_LANES(1, 0, 0, 3))),
      _mm_permute_ps(squares, KUBIK_AVX2_LANES(2, 2, 1, 3)));  // (11, 22, 33, -)
  const __m128 products = _mm_mul_ps(_mm_permute_ps(d, KUBIK_AVX2_LANES(0, 0, 1, 3)),
                                     _mm_permute_ps(q, KUBIK_AVX2_LANES(1, 2, 2, 3)));  // xy xz yz
  const __m128 doubled = _mm_permute_ps(d, KUBIK_AVX2_LANES(2, 1, 0, 3));  // (z2, y2, x2, -)
  const __m128 w = Broadcast<3>(q);
  const __m128 plus = _mm_fmadd_ps(doubled, w, products);    // (12, 31, 23, -)
  const __m128 minus = _mm_fnmadd_ps(doubled, w, products);  // (21, 13, 32, -)
  const __m128 r1 =
      _mm_blend_ps(_mm_blend_ps(diagonal, Broadcast<0>(plus), 0b0010), Broadcast<1>(minus), 0b0100);
  const __m128 r2 = _mm_blend_ps(_mm_blend_ps(minus, diagonal, 0b0010), plus, 0b0100);
  const __m128 r3 =
      _mm_blend_ps(_mm_blend_ps(Broadcast<1>(plus), Broadcast<2>(minus), 0b0010), diagonal, 0b0100);
  const __m256 zero = _mm256_setzero_ps();
  _mm256_storeu_ps(out->m[0], _mm256_blend_ps(_mm256_set_m128(r2, r1), zero, 0b10001000));
  _mm256_storeu_ps(
      out->m[2],
      _mm256_blend_ps(_mm256_set_m128(_mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f), r3), zero, 0b00001000));
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  StoreRowPairs(out, Product(m1, m2));
  return out;
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  StoreRowPairs(out, Transpose(Product(m1, m2)));
  return out;
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  const Cofactors c = CofactorsOfRowPairs(m);
  // The third row of m times its cofactors, whose signs alternate.
  const __m128 p = _mm_mul_ps(_mm_loadu_ps(m->m[2]), _mm256_castps256_ps128(c.rows31));
  const __m128 halves = _mm_add_ps(p, _mm_movehl_ps(p, p));
  const __m128 det = _mm_sub_ss(halves, _mm_movehdup_ps(halves));
  const float det_value = Lane0(det);
  // The caller gets the determinant even when the inverse fails.
  if (determinant) *determinant = det_value;
  if (!HasFiniteReciprocal(det_value)) return nullptr;
  // 1 / det with the cofactors' signs: + for rows 1 and 3 of the result,
  // - for rows 2 and 4.
  const __m256 scale =
      _mm256_div_ps(_mm256_setr_ps(1.0f, 1.0f, 1.0f, 1.0f, -1.0f, -1.0f, -1.0f, -1.0f),
                    _mm256_broadcastss_ps(det));
  // The adjugate is the cofactors transposed: row i of the result is element
  // i of the cofactors of rows 1, 2, 3, 4.
  const __m256 low = _mm256_unpacklo_ps(c.rows31, c.rows42);
  const __m256 high = _mm256_unpackhi_ps(c.rows31, c.rows42);
  const __m256 rows12 =
      _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(low), KUBIK_AVX2_LANES(2, 0, 3, 1)));
  const __m256 rows34 =
      _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(high), KUBIK_AVX2_LANES(2, 0, 3, 1)));
  StoreRowPairs(out, {_mm256_mul_ps(rows12, scale), _mm256_mul_ps(rows34, scale)});
  return out;
}

KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  StoreRotation(out, _mm_loadu_ps(&q->x));
  return out;
}

// Rows 1 and 2 of roll, then pitch, then yaw, from the full angles' sines
// and cosines (lanes 0 to 2 and 4 to 6, with sin 0 and cos 0 in lanes 3
// and 7, which give the zeros and the one):
// (cr cy + sr sp sy, sr cp, sr sp cy - cr sy, 0 | cr sp sy - sr cy, cr cp, sr sy + cr sp cy, 0),
// (cp sy, -sp, cp cy, 0 | 0, 0, 0, 1).
KMMATRIX* KMMatrixRotationYawPitchRoll(KMMATRIX* out, float yaw, float pitch, float roll) {
  const __m256 sc = SinesAndCosines(_mm_setr_ps(yaw, pitch, roll, 0.0f));
  auto lanes = [&](int a, int b, int c, int d, int e, int f, int g, int h) {
    return _mm256_permutevar8x32_ps(sc, _mm256_setr_epi32(a, b, c, d, e, f, g, h));
  };
  const __m256 products =
      _mm256_xor_ps(_mm256_mul_ps(lanes(6, 2, 6, 7, 2, 6, 2, 7), lanes(4, 5, 0, 3, 4, 5, 0, 3)),
                    _mm256_setr_ps(0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, 0.0f, 0.0f));
  const __m256 sine_pitch_times =
      _mm256_mul_ps(lanes(2, 2, 2, 3, 6, 6, 6, 3), lanes(1, 1, 1, 3, 1, 1, 1, 3));
  const __m256 r12 = _mm256_fmadd_ps(sine_pitch_times, lanes(0, 3, 4, 3, 0, 3, 4, 3), products);
  // Adding +0 turns -sp = -0 at pitch 0 into +0, as the reference has it.
  const __m256 r34 = _mm256_fmadd_ps(
      lanes(5, 1, 5, 7, 7, 7, 7, 7),
      _mm256_xor_ps(lanes(0, 7, 4, 3, 3, 3, 3, 7),
                    _mm256_setr_ps(0.0f, -0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f)),
      _mm256_setzero_ps());
  StoreRowPairs(out, {r12, r34});
  return out;
}

}  // namespace kubik::avx2
