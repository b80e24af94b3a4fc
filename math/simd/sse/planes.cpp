// SSE plane operations built on 3-vectors; every 3-vector is touched as
// exactly its 12 bytes.
#include <cmath>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"

namespace kubik::sse {
namespace {

// (c * z + a * x) + b * y in lane 0.
__m128 NormalDot(__m128 normal, __m128 point) {
  const __m128 p = _mm_mul_ps(normal, point);
  return _mm_add_ss(_mm_add_ss(_mm_movehl_ps(p, p), p), Broadcast<1>(p));
}

}  // namespace

KMPLANE* KMPlaneFromPoints(KMPLANE* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                           const KMVECTOR3* v3) {
  const __m128 p1 = LoadVector3(&v1->x);
  const __m128 a = _mm_sub_ps(p1, LoadVector3(&v2->x));
  const __m128 b = _mm_sub_ps(p1, LoadVector3(&v3->x));
  // a x b from lane rotations (y, z, x) and (z, x, y).
  const __m128 a_yzx = _mm_shuffle_ps(a, a, KUBIK_LANES(1, 2, 0, 3));
  const __m128 a_zxy = _mm_shuffle_ps(a, a, KUBIK_LANES(2, 0, 1, 3));
  const __m128 b_yzx = _mm_shuffle_ps(b, b, KUBIK_LANES(1, 2, 0, 3));
  const __m128 b_zxy = _mm_shuffle_ps(b, b, KUBIK_LANES(2, 0, 1, 3));
  __m128 n = _mm_sub_ps(_mm_mul_ps(a_yzx, b_zxy), _mm_mul_ps(a_zxy, b_yzx));
  const __m128 sq = _mm_mul_ps(n, n);
  const __m128 length = _mm_add_ss(_mm_add_ss(sq, Broadcast<1>(sq)), _mm_movehl_ps(sq, sq));
  // Collinear points: the zero normal stays zero, as the reference's
  // normalisation leaves it (with the reference's threshold, the smallest
  // normal float), instead of becoming 0 * infinity.
  if (_mm_cvtss_f32(length) > 0x1p-126f) {
    n = _mm_mul_ps(n, Broadcast<0>(ReciprocalSqrtBuilders(length)));
  } else {
    n = _mm_setzero_ps();
  }

  // d = -(n.x * v1.x + (n.z * v1.z + n.y * v1.y)), the sign set by xor.
  const __m128 np = _mm_mul_ps(n, p1);
  const __m128 d = _mm_add_ss(np, _mm_add_ss(_mm_movehl_ps(np, np), Broadcast<1>(np)));
  const __m128 minus_d = _mm_xor_ps(d, _mm_set_ss(-0.0f));
  // n's fourth lane is 0: put -d there.
  _mm_storeu_ps(&out->a, _mm_movelh_ps(n, _mm_unpacklo_ps(_mm_movehl_ps(n, n), minus_d)));
  return out;
}

KMVECTOR3* KMPlaneIntersectLine(KMVECTOR3* out, const KMPLANE* plane, const KMVECTOR3* v1,
                                const KMVECTOR3* v2) {
  const __m128 normal = LoadVector3(&plane->a);
  const __m128 p1 = LoadVector3(&v1->x);
  const __m128 p2 = LoadVector3(&v2->x);
  const __m128 d1 = NormalDot(normal, p1);
  const __m128 denominator = _mm_sub_ss(d1, NormalDot(normal, p2));
  const float den = _mm_cvtss_f32(denominator);
  if (den == 0.0f || std::isnan(den)) return nullptr;
  // Unlike the reference, no test that t is finite.
  const __m128 r = Reciprocal(denominator);
  const __m128 t = _mm_mul_ss(_mm_add_ss(d1, _mm_load_ss(&plane->d)), r);
  StoreVector3(&out->x, _mm_add_ps(_mm_mul_ps(_mm_sub_ps(p2, p1), Broadcast<0>(t)), p1));
  return out;
}

}  // namespace kubik::sse
