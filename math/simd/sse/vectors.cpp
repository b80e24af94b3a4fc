// SSE vector operations: single transforms, normalisation, splines and the
// 4D cross product. Every input is read before the first store, so outputs
// may alias inputs wherever the reference allows it.
#include <bit>
#include <limits>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"

namespace kubik::sse {
namespace {

// Below this squared length a 3-vector or plane normal counts as zero: 2^-46.
constexpr float kNormalizeGuard = 1.4210855e-14f;
static_assert(std::bit_cast<std::uint32_t>(kNormalizeGuard) == 0x28800000);

template <bool Aligned>
__m128 Transform3(const float* v, const KMMATRIX* m) {
  const Rows r = LoadRows<Aligned>(m);
  const __m128 xy =
      _mm_add_ps(_mm_mul_ps(_mm_load1_ps(v), r.r1), _mm_mul_ps(_mm_load1_ps(v + 1), r.r2));
  return _mm_add_ps(xy, _mm_add_ps(_mm_mul_ps(_mm_load1_ps(v + 2), r.r3), r.r4));
}

template <bool Aligned>
__m128 Transform3Normal(const float* v, const KMMATRIX* m) {
  const Rows r = LoadRows<Aligned>(m);
  const __m128 xy =
      _mm_add_ps(_mm_mul_ps(_mm_load1_ps(v), r.r1), _mm_mul_ps(_mm_load1_ps(v + 1), r.r2));
  return _mm_add_ps(xy, _mm_mul_ps(_mm_load1_ps(v + 2), r.r3));
}

template <bool Aligned>
__m128 Transform4(const float* v, const KMMATRIX* m) {
  const Rows r = LoadRows<Aligned>(m);
  const __m128 in = _mm_loadu_ps(v);
  const __m128 xy =
      _mm_add_ps(_mm_mul_ps(Broadcast<0>(in), r.r1), _mm_mul_ps(Broadcast<1>(in), r.r2));
  const __m128 zw =
      _mm_add_ps(_mm_mul_ps(Broadcast<2>(in), r.r3), _mm_mul_ps(Broadcast<3>(in), r.r4));
  return _mm_add_ps(xy, zw);
}

__m128 Transform3Any(const float* v, const KMMATRIX* m) {
  return IsAligned16(m) ? Transform3<true>(v, m) : Transform3<false>(v, m);
}

__m128 Transform4Any(const float* v, const KMMATRIX* m) {
  return IsAligned16(m) ? Transform4<true>(v, m) : Transform4<false>(v, m);
}

// (x * row1 + row4) + y * row2.
__m128 Transform2(const float* v, const KMMATRIX* m) {
  const Rows r = LoadRows<false>(m);
  const __m128 x = _mm_add_ps(_mm_mul_ps(_mm_load1_ps(v), r.r1), r.r4);
  return _mm_add_ps(x, _mm_mul_ps(_mm_load1_ps(v + 1), r.r2));
}

// Every lane divided by the w lane, by the refined reciprocal; no test for w
// equal to 1 or 0.
__m128 DivideByW(__m128 p) {
  return _mm_mul_ps(p, TransformReciprocal(Broadcast<3>(p)));
}

// Lanes 0 and 1 of v + lanes 2 and 3 of v, in lanes 0 and 1.
__m128 AddHalves(__m128 v) {
  return _mm_add_ps(v, _mm_movehl_ps(v, v));
}

// 3-vectors for the splines: z in lane 0, (x, y) in lanes 2 and 3.
__m128 LoadSplineVector3(const float* p) {
  return _mm_loadh_pi(_mm_load_ss(p + 2), reinterpret_cast<const __m64*>(p));
}

void StoreSplineVector3(float* p, __m128 v) {
  _mm_store_ss(p + 2, v);
  _mm_storeh_pi(reinterpret_cast<__m64*>(p), v);
}

struct SplineRows {
  float constant[4], s[4], s2[4], s3[4];
};

constexpr SplineRows kHermite = {{1, 0, 0, 0}, {0, 1, 0, 0}, {-3, -2, 3, -1}, {2, 1, -2, 1}};
constexpr SplineRows kCatmullRom = {
    {0, 1, 0, 0}, {-0.5f, 0, 0.5f, 0}, {1, -2.5f, 2, -0.5f}, {-0.5f, 1.5f, -1.5f, 0.5f}};

// W = ((s * srow + constant) + s^2 * s2row) + s^3 * s3row.
__m128 SplineWeights(const SplineRows& rows, float s) {
  const float s2 = s * s;
  const float s3 = s * s2;
  __m128 w =
      _mm_add_ps(_mm_mul_ps(_mm_set1_ps(s), _mm_loadu_ps(rows.s)), _mm_loadu_ps(rows.constant));
  w = _mm_add_ps(w, _mm_mul_ps(_mm_set1_ps(s2), _mm_loadu_ps(rows.s2)));
  return _mm_add_ps(w, _mm_mul_ps(_mm_set1_ps(s3), _mm_loadu_ps(rows.s3)));
}

// ((W0 * p1 + W1 * p2) + W2 * p3) + W3 * p4.
__m128 Combine(__m128 w, __m128 p1, __m128 p2, __m128 p3, __m128 p4) {
  __m128 sum = _mm_add_ps(_mm_mul_ps(Broadcast<0>(w), p1), _mm_mul_ps(Broadcast<1>(w), p2));
  sum = _mm_add_ps(sum, _mm_mul_ps(Broadcast<2>(w), p3));
  return _mm_add_ps(sum, _mm_mul_ps(Broadcast<3>(w), p4));
}

// Two points per register: (p1, p2) * (W0, W0, W1, W1) + (p3, p4) * (W2, W2,
// W3, W3), then the upper half added to the lower.
__m128 Combine2(__m128 w, const float* p1, const float* p2, const float* p3, const float* p4) {
  const __m128 p12 = _mm_loadh_pi(LoadPair(p1), reinterpret_cast<const __m64*>(p2));
  const __m128 p34 = _mm_loadh_pi(LoadPair(p3), reinterpret_cast<const __m64*>(p4));
  const __m128 w01 = _mm_shuffle_ps(w, w, KUBIK_LANES(0, 0, 1, 1));
  const __m128 w23 = _mm_shuffle_ps(w, w, KUBIK_LANES(2, 2, 3, 3));
  return AddHalves(_mm_add_ps(_mm_mul_ps(p12, w01), _mm_mul_ps(p34, w23)));
}

// ((v2 - v1) * f + v1) + (v3 - v1) * g.
__m128 BaryCentric(__m128 v1, __m128 v2, __m128 v3, float f, float g) {
  const __m128 toward2 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(v2, v1), _mm_set1_ps(f)), v1);
  return _mm_add_ps(toward2, _mm_mul_ps(_mm_sub_ps(v3, v1), _mm_set1_ps(g)));
}

float Lane0(__m128 v) {
  return _mm_cvtss_f32(v);
}

}  // namespace

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform2(&v->x, m));
  return out;
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform3Any(&v->x, m));
  return out;
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform4Any(&v->x, m));
  return out;
}

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  _mm_storeu_ps(&out->a, Transform4Any(&plane->a, m));
  return out;
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  const Rows r = LoadRows<false>(m);
  StorePair(&out->x, _mm_add_ps(_mm_mul_ps(_mm_load1_ps(&v->x), r.r1),
                                _mm_mul_ps(_mm_load1_ps(&v->y), r.r2)));
  return out;
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  const __m128 p =
      IsAligned16(m) ? Transform3Normal<true>(&v->x, m) : Transform3Normal<false>(&v->x, m);
  StoreVector3(&out->x, p);
  return out;
}

KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  StorePair(&out->x, DivideByW(Transform2(&v->x, m)));
  return out;
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  StoreVector3(&out->x, DivideByW(Transform3Any(&v->x, m)));
  return out;
}

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  const __m128 in = LoadVector3(&v->x);
  const __m128 sq = _mm_mul_ps(in, in);
  const __m128 length = _mm_add_ss(_mm_add_ss(sq, Broadcast<1>(sq)), _mm_movehl_ps(sq, sq));
  // Not (length >= guard), so a NaN length also gives the zero vector.
  __m128 result = _mm_setzero_ps();
  if (Lane0(length) >= kNormalizeGuard) {
    result = _mm_mul_ps(in, Broadcast<0>(ReciprocalSqrtNormalize3(length)));
  }
  StoreVector3(&out->x, result);
  return out;
}

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  const __m128 in = _mm_loadu_ps(&plane->a);
  const __m128 sq = _mm_mul_ps(in, in);
  const __m128 length = _mm_add_ss(_mm_add_ss(sq, Broadcast<1>(sq)), _mm_movehl_ps(sq, sq));
  __m128 result = _mm_setzero_ps();
  if (Lane0(length) >= kNormalizeGuard) {
    result = _mm_mul_ps(in, Broadcast<0>(ReciprocalSqrtNormalize3(length)));
  }
  _mm_storeu_ps(&out->a, result);
  return out;
}

namespace {

// (x^2 + y^2) + (z^2 + w^2). A squared length at or below the smallest
// normal float, or NaN, gives the zero vector as in the reference (the
// estimate of such a length is infinite, and 0 * infinity a NaN); above it
// nothing changes.
__m128 Normalize4(const float* p) {
  const __m128 in = _mm_loadu_ps(p);
  const __m128 sq = _mm_mul_ps(in, in);
  const __m128 xy_zw = _mm_add_ps(sq, _mm_shuffle_ps(sq, sq, KUBIK_LANES(1, 0, 3, 2)));
  const __m128 total = _mm_add_ss(xy_zw, _mm_movehl_ps(xy_zw, xy_zw));
  if (!(Lane0(total) > std::numeric_limits<float>::min())) return _mm_setzero_ps();
  return _mm_mul_ps(in, Broadcast<0>(ReciprocalSqrtNormalize4(total)));
}

}  // namespace

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  _mm_storeu_ps(&out->x, Normalize4(&v->x));
  return out;
}

KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  _mm_storeu_ps(&out->x, Normalize4(&q->x));
  return out;
}

KMVECTOR2* KMVec2Hermite(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* t1,
                         const KMVECTOR2* v2, const KMVECTOR2* t2, float s) {
  StorePair(&out->x, Combine2(SplineWeights(kHermite, s), &v1->x, &t1->x, &v2->x, &t2->x));
  return out;
}

KMVECTOR3* KMVec3Hermite(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* t1,
                         const KMVECTOR3* v2, const KMVECTOR3* t2, float s) {
  StoreSplineVector3(&out->x, Combine(SplineWeights(kHermite, s), LoadSplineVector3(&v1->x),
                                      LoadSplineVector3(&t1->x), LoadSplineVector3(&v2->x),
                                      LoadSplineVector3(&t2->x)));
  return out;
}

KMVECTOR4* KMVec4Hermite(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* t1,
                         const KMVECTOR4* v2, const KMVECTOR4* t2, float s) {
  _mm_storeu_ps(&out->x, Combine(SplineWeights(kHermite, s), _mm_loadu_ps(&v1->x),
                                 _mm_loadu_ps(&t1->x), _mm_loadu_ps(&v2->x), _mm_loadu_ps(&t2->x)));
  return out;
}

KMVECTOR2* KMVec2CatmullRom(KMVECTOR2* out, const KMVECTOR2* v0, const KMVECTOR2* v1,
                            const KMVECTOR2* v2, const KMVECTOR2* v3, float s) {
  StorePair(&out->x, Combine2(SplineWeights(kCatmullRom, s), &v0->x, &v1->x, &v2->x, &v3->x));
  return out;
}

KMVECTOR3* KMVec3CatmullRom(KMVECTOR3* out, const KMVECTOR3* v0, const KMVECTOR3* v1,
                            const KMVECTOR3* v2, const KMVECTOR3* v3, float s) {
  StoreSplineVector3(&out->x, Combine(SplineWeights(kCatmullRom, s), LoadSplineVector3(&v0->x),
                                      LoadSplineVector3(&v1->x), LoadSplineVector3(&v2->x),
                                      LoadSplineVector3(&v3->x)));
  return out;
}

KMVECTOR4* KMVec4CatmullRom(KMVECTOR4* out, const KMVECTOR4* v0, const KMVECTOR4* v1,
                            const KMVECTOR4* v2, const KMVECTOR4* v3, float s) {
  _mm_storeu_ps(&out->x, Combine(SplineWeights(kCatmullRom, s), _mm_loadu_ps(&v0->x),
                                 _mm_loadu_ps(&v1->x), _mm_loadu_ps(&v2->x), _mm_loadu_ps(&v3->x)));
  return out;
}

KMVECTOR2* KMVec2BaryCentric(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* v2,
                             const KMVECTOR2* v3, float f, float g) {
  StorePair(&out->x, BaryCentric(LoadPair(&v1->x), LoadPair(&v2->x), LoadPair(&v3->x), f, g));
  return out;
}

KMVECTOR3* KMVec3BaryCentric(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                             const KMVECTOR3* v3, float f, float g) {
  StoreSplineVector3(&out->x, BaryCentric(LoadSplineVector3(&v1->x), LoadSplineVector3(&v2->x),
                                          LoadSplineVector3(&v3->x), f, g));
  return out;
}

KMVECTOR4* KMVec4BaryCentric(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                             const KMVECTOR4* v3, float f, float g) {
  _mm_storeu_ps(
      &out->x, BaryCentric(_mm_loadu_ps(&v1->x), _mm_loadu_ps(&v2->x), _mm_loadu_ps(&v3->x), f, g));
  return out;
}

KMVECTOR4* KMVec4Cross(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                       const KMVECTOR4* v3) {
  const __m128 minors =
      MinorsWithoutColumn(_mm_loadu_ps(&v1->x), _mm_loadu_ps(&v2->x), _mm_loadu_ps(&v3->x));
  _mm_storeu_ps(&out->x, _mm_xor_ps(minors, SignMask(kPlus, kMinus, kPlus, kMinus)));
  return out;
}

}  // namespace kubik::sse
