// Vector transforms and normalisers of the NEON family. A record is read
// whole into a register before the output is written, so the output may be
// the input; 2- and 3-component records are touched as exactly their bytes.
#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"
#include "math/simd/neon/normalize.h"

namespace kubik::neon {

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  vst1q_f32(&out->x, PointTimes2(Load2(&v->x), LoadRows(m)));
  return out;
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  vst1q_f32(&out->x, PointTimes3(Load3(&v->x), LoadRows(m)));
  return out;
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  vst1q_f32(&out->x, Times4(vld1q_f32(&v->x), LoadRows(m)));
  return out;
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  Store2(&out->x, DirectionTimes2(Load2(&v->x), LoadRows(m)));
  return out;
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  Store3(&out->x, DirectionTimes3(Load3(&v->x), LoadRows(m)));
  return out;
}

KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  const float32x4_t r = PointTimes2(Load2(&v->x), LoadRows(m));
  Store2(&out->x, DivideByW(r, vdupq_laneq_f32(r, 3)));
  return out;
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  const float32x4_t r = PointTimes3(Load3(&v->x), LoadRows(m));
  Store3(&out->x, DivideByW(r, vdupq_laneq_f32(r, 3)));
  return out;
}

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  Store2(&out->x, Normalized<2>(Load2(&v->x)));
  return out;
}

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  Store3(&out->x, Normalized<3>(Load3(&v->x)));
  return out;
}

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  vst1q_f32(&out->x, Normalized<4>(vld1q_f32(&v->x)));
  return out;
}

}  // namespace kubik::neon
