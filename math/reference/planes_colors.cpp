// Reference plane, colour and Fresnel operations: working precision is
// double, each stored component is rounded to float once.
#include <cfloat>
#include <cmath>

#include "math/reference/reference.h"
#include "math/types/float_compare.h"

namespace kubik::reference {

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  const float a = plane->a, b = plane->b, c = plane->c, d = plane->d;
  // Only the normal decides the scale; d follows it.
  const float length_sq = static_cast<float>(
      static_cast<double>(a) * a + static_cast<double>(b) * b + static_cast<double>(c) * c);
  if (FloatNearlyEqual(length_sq, 1.0f)) {
    *out = KMPLANE(a, b, c, d);
  } else if (length_sq > FLT_MIN) {
    const double k = 1.0 / std::sqrt(static_cast<double>(length_sq));
    *out = KMPLANE(static_cast<float>(k * a), static_cast<float>(k * b), static_cast<float>(k * c),
                   static_cast<float>(k * d));
  } else {
    // Tiny, zero or NaN normal.
    *out = KMPLANE(0.0f, 0.0f, 0.0f, 0.0f);
  }
  return out;
}

}  // namespace kubik::reference
