// AVX2 quaternion operations: the product as one fused chain, and the
// rotation builder and spherical interpolations on the family's
// single-precision sine and arc cosine, several angles per vector.
#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"
#include "math/simd/avx2/trigonometry.h"

namespace kubik::avx2 {
namespace {

__m128 Signs(float a, float b, float c, float d) {
  return _mm_setr_ps(a, b, c, d);
}

// q1 first, then q2: the Hamilton product q2 q1.
__m128 Product(__m128 a, __m128 b) {
  const __m128 bx = _mm_xor_ps(Broadcast<0>(b), Signs(0.0f, -0.0f, 0.0f, -0.0f));
  const __m128 by = _mm_xor_ps(Broadcast<1>(b), Signs(0.0f, 0.0f, -0.0f, -0.0f));
  const __m128 bz = _mm_xor_ps(Broadcast<2>(b), Signs(-0.0f, 0.0f, 0.0f, -0.0f));
  // Two independent fused pairs, then one sum: a short dependency chain.
  const __m128 wx = _mm_fmadd_ps(bx, _mm_permute_ps(a, KUBIK_AVX2_LANES(3, 2, 1, 0)),
                                 _mm_mul_ps(Broadcast<3>(b), a));
  const __m128 yz = _mm_fmadd_ps(bz, _mm_permute_ps(a, KUBIK_AVX2_LANES(1, 0, 3, 2)),
                                 _mm_mul_ps(by, _mm_permute_ps(a, KUBIK_AVX2_LANES(2, 3, 0, 1))));
  return _mm_add_ps(wx, yz);
}

// The weights (k0, k1) of two interpolations at once, from their dot
// products laid out (d1, d1, d2, d2): sin((1 - t) angle) / sin angle and
// sin(t angle) / sin angle, all four sines from one evaluation while the
// reciprocal of sin angle = sqrt((1 - d) (1 + d)) is formed; (1 - t, t)
// where 1 - |d| is not above 2^-23. Both are for the interpolation towards
// the second quaternion negated where its dot product is negative.
__m128 SlerpWeights(__m128 dots, float t) {
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 d = _mm_andnot_ps(_mm_set1_ps(-0.0f), dots);
  const __m128 one_minus_d = _mm_sub_ps(one, d);
  // (1 - t, t, 1 - t, t), 1 - t rounded once.
  const __m128 linear = _mm_fmadd_ps(_mm_set1_ps(t), Signs(-1.0f, 1.0f, -1.0f, 1.0f),
                                     _mm_setr_ps(1.0f, 0.0f, 1.0f, 0.0f));
  const __m128 curved = _mm_cmpgt_ps(one_minus_d, _mm_set1_ps(0x1p-23f));
  const ArcCosineFactors angle = ArcCosineOfNonNegativeFactors(d);
  const __m128 inverse_sine =
      _mm_div_ps(one, _mm_sqrt_ps(_mm_mul_ps(one_minus_d, _mm_add_ps(one, d))));
  // The polynomial factor of the angle meets (1 - t, t) while the square
  // root is still being formed.
  const __m128 sines = Sines(_mm_mul_ps(angle.root, _mm_mul_ps(angle.poly, linear)));
  return _mm_blendv_ps(linear, _mm_mul_ps(sines, inverse_sine), curved);
}

// The weights with k1 negated where its dot product is negative, which
// takes the shorter arc; at a dot product of -0 too, which only an exact
// zero (where both arcs are as long) or an underflow gives.
__m128 SignedForShorterArc(__m128 weights, __m128 dots) {
  return _mm_xor_ps(weights, _mm_and_ps(dots, Signs(0.0f, -0.0f, 0.0f, -0.0f)));
}

// (dot(a1, b1), dot(a1, b1), dot(a2, b2), dot(a2, b2)), each summed as
// (x + z) + (y + w).
__m128 PairedDots(__m128 a1, __m128 b1, __m128 a2, __m128 b2) {
  const __m128 p1 = _mm_mul_ps(a1, b1), p2 = _mm_mul_ps(a2, b2);
  const __m128 halves = _mm_add_ps(_mm_shuffle_ps(p1, p2, KUBIK_AVX2_LANES(0, 1, 0, 1)),
                                   _mm_shuffle_ps(p1, p2, KUBIK_AVX2_LANES(2, 3, 2, 3)));
  return _mm_add_ps(halves, _mm_permute_ps(halves, KUBIK_AVX2_LANES(1, 0, 3, 2)));
}

// dot(a, b) in every lane, summed as PairedDots sums it.
__m128 BroadcastDot(__m128 a, __m128 b) {
  const __m128 p = _mm_mul_ps(a, b);
  const __m128 halves = _mm_add_ps(p, _mm_permute_ps(p, KUBIK_AVX2_LANES(2, 3, 0, 1)));
  return _mm_add_ps(halves, _mm_permute_ps(halves, KUBIK_AVX2_LANES(1, 0, 3, 2)));
}

// k0 a + k1 b with the weights in lanes I and I + 1.
template <int I>
__m128 Blend(__m128 weights, __m128 a, __m128 b) {
  return _mm_fmadd_ps(Broadcast<I + 1>(weights), b, _mm_mul_ps(Broadcast<I>(weights), a));
}

}  // namespace

KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2) {
  _mm_storeu_ps(&out->x, Product(_mm_loadu_ps(&q1->x), _mm_loadu_ps(&q2->x)));
  return out;
}

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  _mm_storeu_ps(&out->x, YawPitchRollQuaternion(yaw, pitch, roll));
  return out;
}

KMQUATERNION* KMQuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                                float t) {
  const __m128 a = _mm_loadu_ps(&q1->x);
  const __m128 b = _mm_loadu_ps(&q2->x);
  const __m128 dot = BroadcastDot(a, b);
  // Towards -q2 where the dot product is negative (see SignedForShorterArc),
  // formed alongside the weights.
  const __m128 b_near = _mm_xor_ps(b, _mm_and_ps(dot, _mm_set1_ps(-0.0f)));
  _mm_storeu_ps(&out->x, Blend<0>(SlerpWeights(dot, t), a, b_near));
  return out;
}

KMQUATERNION* KMQuaternionSquad(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* a,
                                const KMQUATERNION* b, const KMQUATERNION* c, float t) {
  // slerp(slerp(q1, c, t), slerp(a, b, t), 2 t (1 - t)): the two inner
  // interpolations share one evaluation.
  const __m128 p = _mm_loadu_ps(&q1->x), pc = _mm_loadu_ps(&c->x);
  const __m128 pa = _mm_loadu_ps(&a->x), pb = _mm_loadu_ps(&b->x);
  const __m128 inner_dots = PairedDots(p, pc, pa, pb);
  const __m128 inner_weights = SignedForShorterArc(SlerpWeights(inner_dots, t), inner_dots);
  const __m128 outer = Blend<0>(inner_weights, p, pc);
  const __m128 inner = Blend<2>(inner_weights, pa, pb);
  const float u = ((1.0f - t) * t) * 2.0f;
  const __m128 dot = BroadcastDot(outer, inner);
  const __m128 weights = SignedForShorterArc(SlerpWeights(dot, u), dot);
  _mm_storeu_ps(&out->x, Blend<0>(weights, outer, inner));
  return out;
}

}  // namespace kubik::avx2
