// AVX-512 4 x 4 product and inverse: the whole matrix in one register, one
// row per 128-bit lane, in the same fused chains as the AVX2 family. Every
// input is read before the store, so the output may be an input.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "math/simd/avx512/family.h"

namespace kubik::avx512 {
namespace {

#define KUBIK_AVX512_LANES(a, b, c, d) _MM_SHUFFLE(d, c, b, a)

// Neither 0 nor NaN, and 1 / x rounds to a finite float: |x| from
// 2^-128 + 2^-149 up to infinity (whose reciprocal is 0). One unsigned
// comparison of the magnitude's bits, decided before the division; with
// rounding to nearest it agrees with dividing and testing on every float.
bool HasFiniteReciprocal(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const std::uint32_t magnitude2 = bits << 1;  // the sign shifted out
  return magnitude2 - 0x00400002u <= 0xff000000u - 0x00400002u;
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  const __m512 a = _mm512_loadu_ps(m1->m[0]);
  const __m512 b1 = _mm512_broadcast_f32x4(_mm_loadu_ps(m2->m[0]));
  const __m512 b2 = _mm512_broadcast_f32x4(_mm_loadu_ps(m2->m[1]));
  const __m512 b3 = _mm512_broadcast_f32x4(_mm_loadu_ps(m2->m[2]));
  const __m512 b4 = _mm512_broadcast_f32x4(_mm_loadu_ps(m2->m[3]));
  __m512 sum = _mm512_mul_ps(_mm512_permute_ps(a, 0x00), b1);
  sum = _mm512_fmadd_ps(_mm512_permute_ps(a, 0x55), b2, sum);
  sum = _mm512_fmadd_ps(_mm512_permute_ps(a, 0xaa), b3, sum);
  sum = _mm512_fmadd_ps(_mm512_permute_ps(a, 0xff), b4, sum);
  _mm512_storeu_ps(out->m[0], sum);
  return out;
}

// Each lane pairs a row with its partner (rows 1-2, 3-4): the six 2 x 2
// minors of the pair, each rounded once, in the lanes of rows 1 and 3 (and
// negated in those of rows 2 and 4). A row's cofactors are three products of
// its partner's elements and the other pair's minors in one fused chain, so
// each lane expands the row two lanes away: the partners' element patterns
// are read across lanes, not the minors, and the cofactors, multiplied by
// (+1, -1, +1, -1), go straight from the chain into the permutation that
// transposes them into the adjugate.
KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  const __m512 rows = _mm512_loadu_ps(m->m[0]);
  const __m512 r1000 = _mm512_permute_ps(rows, KUBIK_AVX512_LANES(1, 0, 0, 0));
  const __m512 r2211 = _mm512_permute_ps(rows, KUBIK_AVX512_LANES(2, 2, 1, 1));
  const __m512 r3332 = _mm512_permute_ps(rows, KUBIK_AVX512_LANES(3, 3, 3, 2));
  // Lane l: the partner of row l, for the minors.
  const __m512 p1000 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(5, 4, 4, 4, 1, 0, 0, 0, 13, 12, 12, 12, 9, 8, 8, 8), rows);
  const __m512 p2211 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(6, 6, 5, 5, 2, 2, 1, 1, 14, 14, 13, 13, 10, 10, 9, 9), rows);
  const __m512 p3332 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(7, 7, 7, 6, 3, 3, 3, 2, 15, 15, 15, 14, 11, 11, 11, 10), rows);
  // Lane l: the partner of the row two lanes away, for the cofactors.
  const __m512 q1000 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(13, 12, 12, 12, 9, 8, 8, 8, 5, 4, 4, 4, 1, 0, 0, 0), rows);
  const __m512 q2211 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(14, 14, 13, 13, 10, 10, 9, 9, 6, 6, 5, 5, 2, 2, 1, 1), rows);
  const __m512 q3332 = _mm512_permutexvar_ps(
      _mm512_setr_epi32(15, 15, 15, 14, 11, 11, 11, 10, 7, 7, 7, 6, 3, 3, 3, 2), rows);
  // Minor ij: columns i and j of the pair.
  const __m512 m23_23_13_12 = _mm512_fmsub_ps(r2211, p3332, _mm512_mul_ps(r3332, p2211));
  const __m512 m13_03_03_02 = _mm512_fmsub_ps(r1000, p3332, _mm512_mul_ps(r3332, p1000));
  const __m512 m12_02_01_01 = _mm512_fmsub_ps(r1000, p2211, _mm512_mul_ps(r2211, p1000));
  // Lanes: the cofactors of rows 3, 4, 1, 2.
  const __m512 cofactors =
      _mm512_fmadd_ps(q3332, m12_02_01_01,
                      _mm512_fnmadd_ps(q2211, m13_03_03_02, _mm512_mul_ps(q1000, m23_23_13_12)));

  // The third row of m times its cofactors, whose signs alternate.
  const __m128 p = _mm_mul_ps(_mm_loadu_ps(m->m[2]), _mm512_castps512_ps128(cofactors));
  const __m128 halves = _mm_add_ps(p, _mm_movehl_ps(p, p));
  const __m128 det = _mm_sub_ss(halves, _mm_movehdup_ps(halves));
  const float det_value = _mm_cvtss_f32(det);
  // The caller gets the determinant even when the inverse fails.
  if (determinant) *determinant = det_value;
  if (!HasFiniteReciprocal(det_value)) return nullptr;
  // 1 / det with the cofactors' signs: + for rows 1 and 3 of the result,
  // - for rows 2 and 4.
  const __m512 scale =
      _mm512_div_ps(_mm512_setr_ps(1.0f, 1.0f, 1.0f, 1.0f, -1.0f, -1.0f, -1.0f, -1.0f, 1.0f, 1.0f,
                                   1.0f, 1.0f, -1.0f, -1.0f, -1.0f, -1.0f),
                    _mm512_broadcastss_ps(det));
  // Row i of the result: element i of the cofactors of rows 1, 2, 3, 4.
  const __m512 adjugate = _mm512_permutexvar_ps(
      _mm512_setr_epi32(8, 12, 0, 4, 9, 13, 1, 5, 10, 14, 2, 6, 11, 15, 3, 7), cofactors);
  _mm512_storeu_ps(out->m[0], _mm512_mul_ps(adjugate, scale));
  return out;
}

}  // namespace kubik::avx512
