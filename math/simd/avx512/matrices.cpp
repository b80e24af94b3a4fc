// AVX-512 4 x 4 product: the whole left matrix in one register, each of its
// elements broadcast within its row's 128-bit lane, times the right
// matrix's rows, in the same fused chain as the AVX2 family.
#include <immintrin.h>

#include "math/simd/avx512/family.h"

namespace kubik::avx512 {

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

}  // namespace kubik::avx512
