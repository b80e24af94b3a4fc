// The x87-tuned plane transform: the 4-vector transform of (a, b, c, d).
#include "math/simd/x87/family.h"
#include "math/simd/x87/transform.h"

namespace kubik::x87 {

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  return TransformRecord<4, false, 4>(out, plane, m);
}

}  // namespace kubik::x87
