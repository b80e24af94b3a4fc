// The x87-tuned vector transforms and normalise. Every sum is formed in the
// working precision in the documented order and rounded once, when stored.
#include <bit>

#include "math/simd/x87/family.h"
#include "math/simd/x87/transform.h"

namespace kubik::x87 {

Working ReciprocalSqrtLookup(std::uint32_t bits) {
  const ReciprocalSqrtSegment& line = ReciprocalSqrtTable[(bits >> 15) & 0x1ffu];
  // r keeps the full mantissa and the lowest exponent bit: r in [0.5, 2).
  const float r = std::bit_cast<float>((bits & 0x00ffffffu) | 0x3f000000u);
  // s is the power of two with 1/sqrt(x) = s / sqrt(r).
  const float s = std::bit_cast<float>(((0xbeffffffu - bits) >> 1) & 0xff800000u);
  return (static_cast<Working>(r) * line.slope + line.intercept) * s;
}

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return TransformRecord<2, true, 4>(out, v, m);
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return TransformRecord<3, true, 4>(out, v, m);
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  return TransformRecord<4, false, 4>(out, v, m);
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return TransformRecord<2, false, 2>(out, v, m);
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return TransformRecord<3, false, 3>(out, v, m);
}

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  const Working x = v->x, y = v->y, z = v->z;
  const float length_sq = static_cast<float>((x * x + y * y) + z * z);
  const std::uint32_t length_bits = std::bit_cast<std::uint32_t>(length_sq);
  if (length_bits == 0) {
    *out = KMVECTOR3(0.0f, 0.0f, 0.0f);
    return out;
  }
  // Compared as an integer with the sign cleared, so a NaN sum is never "unit".
  const float slack = static_cast<float>(static_cast<Working>(length_sq) - 1);
  if (static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(slack) & 0x7fffffffu) <=
      static_cast<std::int32_t>(kUnitLengthSlackBits)) {
    if (out != v) *out = *v;
    return out;
  }
  // Subnormal, infinite and NaN squared lengths go through the table too.
  const Working k = ReciprocalSqrtLookup(length_bits);
  out->x = static_cast<float>(x * k);
  out->y = static_cast<float>(y * k);
  out->z = static_cast<float>(z * k);
  return out;
}

}  // namespace kubik::x87
