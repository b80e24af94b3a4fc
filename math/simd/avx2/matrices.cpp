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

// Lane c of each half: the 3 x 3 determinant of the rows u, a, b of that
// half with column c left out, unsigned; the 2 x 2 minors each round once.
__m256 MinorsWithoutColumn(__m256 u, __m256 a, __m256 b) {
  const __m256 a1000 = _mm256_permute_ps(a, KUBIK_AVX2_LANES(1, 0, 0, 0));
  const __m256 b1000 = _mm256_permute_ps(b, KUBIK_AVX2_LANES(1, 0, 0, 0));
  const __m256 a2211 = _mm256_permute_ps(a, KUBIK_AVX2_LANES(2, 2, 1, 1));
  const __m256 b2211 = _mm256_permute_ps(b, KUBIK_AVX2_LANES(2, 2, 1, 1));
  const __m256 a3332 = _mm256_permute_ps(a, KUBIK_AVX2_LANES(3, 3, 3, 2));
  const __m256 b3332 = _mm256_permute_ps(b, KUBIK_AVX2_LANES(3, 3, 3, 2));
  const __m256 m34_34_24_23 = _mm256_fmsub_ps(a2211, b3332, _mm256_mul_ps(b2211, a3332));
  const __m256 m24_14_14_13 = _mm256_fmsub_ps(a1000, b3332, _mm256_mul_ps(b1000, a3332));
  const __m256 m23_13_12_12 = _mm256_fmsub_ps(a1000, b2211, _mm256_mul_ps(b1000, a2211));
  const __m256 first = _mm256_fmsub_ps(
      _mm256_permute_ps(u, KUBIK_AVX2_LANES(1, 0, 0, 0)), m34_34_24_23,
      _mm256_mul_ps(_mm256_permute_ps(u, KUBIK_AVX2_LANES(2, 2, 1, 1)), m24_14_14_13));
  return _mm256_fmadd_ps(_mm256_permute_ps(u, KUBIK_AVX2_LANES(3, 3, 3, 2)), m23_13_12_12, first);
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
  // The columns of m; their cofactors come out as the rows of the adjugate.
  const RowPairs t = Transpose(LoadRowPairs(m));
  const __m256 a = _mm256_permute2f128_ps(t.r34, t.r12, 0x20);    // (c3 | c1)
  const __m256 b = _mm256_permute2f128_ps(t.r34, t.r12, 0x31);    // (c4 | c2)
  const __m256 u13 = _mm256_permute2f128_ps(t.r12, t.r34, 0x31);  // (c2 | c4)
  const __m256 u24 = _mm256_permute2f128_ps(t.r12, t.r34, 0x20);  // (c1 | c3)
  // A 3 x 3 determinant keeps its value under a cyclic change of its rows.
  const __m256 plus_first = _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f);
  const __m256 adjugate13 = _mm256_xor_ps(MinorsWithoutColumn(u13, a, b), plus_first);
  const __m256 adjugate24 = _mm256_xor_ps(MinorsWithoutColumn(u24, a, b),
                                          _mm256_xor_ps(plus_first, _mm256_set1_ps(-0.0f)));

  // The first column of m times its cofactors.
  const __m128 p = _mm_mul_ps(_mm256_castps256_ps128(u24), _mm256_castps256_ps128(adjugate13));
  const __m128 halves = _mm_add_ps(p, _mm_movehl_ps(p, p));
  const __m128 det = _mm_add_ss(halves, _mm_movehdup_ps(halves));
  const float det_value = Lane0(det);
  // The caller gets the determinant even when the inverse fails.
  if (determinant) *determinant = det_value;
  if (det_value == 0.0f) return nullptr;
  const __m128 inverse = _mm_div_ss(_mm_set_ss(1.0f), det);
  // A NaN determinant, or one whose reciprocal does not fit a float.
  if (!(Bits(Lane0(inverse)) << 1 < 0xff000000u)) return nullptr;
  const __m256 scale = _mm256_broadcastss_ps(inverse);
  const __m256 r13 = _mm256_mul_ps(adjugate13, scale);
  const __m256 r24 = _mm256_mul_ps(adjugate24, scale);
  StoreRowPairs(out,
                {_mm256_permute2f128_ps(r13, r24, 0x20), _mm256_permute2f128_ps(r13, r24, 0x31)});
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
