// AVX2 single-vector operations: transforms by fused multiply-add chains and
// normalisers with the reference's guards. Every input is read before the
// first store, so the output may be the input.
#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"

namespace kubik::avx2 {
namespace {

__m128 Transform2(const float* v, const Rows& r, bool with_translation) {
  return Transform2(_mm_broadcast_ss(v), _mm_broadcast_ss(v + 1), r, with_translation);
}

__m128 Transform3(const float* v, const Rows& r, bool with_translation) {
  return Transform3(_mm_broadcast_ss(v), _mm_broadcast_ss(v + 1), _mm_broadcast_ss(v + 2), r,
                    with_translation);
}

__m128 Transform4(__m128 v, const Rows& r) {
  // Started from +0 as the reference's sums are.
  __m128 sum = _mm_fmadd_ps(Broadcast<0>(v), r.r1, _mm_setzero_ps());
  sum = _mm_fmadd_ps(Broadcast<1>(v), r.r2, sum);
  sum = _mm_fmadd_ps(Broadcast<2>(v), r.r3, sum);
  return _mm_fmadd_ps(Broadcast<3>(v), r.r4, sum);
}

}  // namespace

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform2(&v->x, LoadRows(m), true));
  return out;
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform3(&v->x, LoadRows(m), true));
  return out;
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  _mm_storeu_ps(&out->x, Transform4(_mm_loadu_ps(&v->x), LoadRows(m)));
  return out;
}

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  _mm_storeu_ps(&out->a, Transform4(_mm_loadu_ps(&plane->a), LoadRows(m)));
  return out;
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  StorePair(out, Transform2(&v->x, LoadRows(m), false));
  return out;
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  StoreVector3(out, Transform3(&v->x, LoadRows(m), false));
  return out;
}

KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  StorePair(out, DivideByW(Transform2(&v->x, LoadRows(m), true)));
  return out;
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  StoreVector3(out, DivideByW(Transform3(&v->x, LoadRows(m), true)));
  return out;
}

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  StorePair(out, Normalized<2>(LoadPair(v)));
  return out;
}

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  StoreVector3(out, Normalized<3>(LoadVector3(v)));
  return out;
}

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  _mm_storeu_ps(&out->x, Normalized<4>(_mm_loadu_ps(&v->x)));
  return out;
}

KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  _mm_storeu_ps(&out->x, Normalized<4>(_mm_loadu_ps(&q->x)));
  return out;
}

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  // Only the normal decides the scale; d follows it.
  _mm_storeu_ps(&out->a, Normalized<3>(_mm_loadu_ps(&plane->a)));
  return out;
}

}  // namespace kubik::avx2
