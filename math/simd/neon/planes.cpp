// Plane operations of the NEON family: the plane is a row 4-vector, and
// only its normal (a, b, c) sets the normalising length.
#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"
#include "math/simd/neon/normalize.h"

namespace kubik::neon {

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  vst1q_f32(&out->a, Normalized<3>(vld1q_f32(&plane->a)));
  return out;
}

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  vst1q_f32(&out->a, Times4(vld1q_f32(&plane->a), LoadRows(m)));
  return out;
}

}  // namespace kubik::neon
