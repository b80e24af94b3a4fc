// The x87-tuned family, installed over the reference set on every processor.
// Every sum is formed in the working precision in the documented order and
// rounded once, when stored.
#include <bit>

#include "math/simd/x87/family.h"

namespace kubik {
namespace x87 {

Working ReciprocalSqrtLookup(std::uint32_t bits) {
  const ReciprocalSqrtSegment& line = ReciprocalSqrtTable[(bits >> 15) & 0x1ffu];
  // r keeps the full mantissa and the lowest exponent bit: r in [0.5, 2).
  const float r = std::bit_cast<float>((bits & 0x00ffffffu) | 0x3f000000u);
  // s is the power of two with 1/sqrt(x) = s / sqrt(r).
  const float s = std::bit_cast<float>(((0xbeffffffu - bits) >> 1) & 0xff800000u);
  return (static_cast<Working>(r) * line.slope + line.intercept) * s;
}

namespace {

// Component j of the input times m, summed left to right over the rows that
// take part: the first kRows rows, then the fourth row alone (w = 1) for a
// point. A 2-vector point thus skips row 3 (z = 0).
template <int kRows, bool kPoint>
inline Working TransformedComponent(const Working (&v)[kRows], const KMMATRIX& m, int j) {
  Working sum = v[0] * m.m[0][j];
  for (int r = 1; r < kRows; ++r) sum += v[r] * m.m[r][j];
  if constexpr (kPoint) sum += m.m[3][j];
  return sum;
}

// Loads every input component, forms all kOut results, then stores them.
template <int kRows, bool kPoint, int kOut, class Out, class In>
inline Out* TransformRecord(Out* out, const In* in, const KMMATRIX* m) {
  static_assert(sizeof(In) == kRows * sizeof(float) && sizeof(Out) == kOut * sizeof(float));
  const float* components = reinterpret_cast<const float*>(in);
  Working v[kRows];
  for (int r = 0; r < kRows; ++r) v[r] = components[r];
  float result[kOut];
  for (int j = 0; j < kOut; ++j) {
    result[j] = static_cast<float>(TransformedComponent<kRows, kPoint>(v, *m, j));
  }
  float* destination = reinterpret_cast<float*>(out);
  for (int j = 0; j < kOut; ++j) destination[j] = result[j];
  return out;
}

// Products 1 and 3 and products 2 and 4 form two independent chains.
inline float PairedSum(const Working a[4], const Working b[4]) {
  return static_cast<float>((a[0] * b[0] + a[2] * b[2]) + (a[1] * b[1] + a[3] * b[3]));
}

// Row by row: row i of m1 is loaded before row i of out is written, so out
// may be m1 as long as it is not m2.
void MultiplyByRows(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  for (int i = 0; i < 4; ++i) {
    const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
    for (int j = 0; j < 4; ++j) {
      const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
      out->m[i][j] = PairedSum(row, column);
    }
  }
}

// Column by column: column j of m2 is loaded before column j of out is
// written, and no later column reads it, so out may be m2.
void MultiplyByColumns(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  for (int j = 0; j < 4; ++j) {
    const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
    for (int i = 0; i < 4; ++i) {
      const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
      out->m[i][j] = PairedSum(row, column);
    }
  }
}

}  // namespace

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

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  return TransformRecord<4, false, 4>(out, plane, m);
}

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  if (out == m2) {
    if (out != m1) {
      MultiplyByColumns(out, m1, m2);
      return out;
    }
    // Squaring in place: every row needs all of m2, so keep a copy of it.
    const KMMATRIX copy = *m2;
    MultiplyByRows(out, m1, &copy);
    return out;
  }
  MultiplyByRows(out, m1, m2);
  return out;
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  // Element (i, j) goes to (j, i): an output that is an input goes through a local.
  KMMATRIX local;
  KMMATRIX* destination = (out == m1 || out == m2) ? &local : out;
  for (int i = 0; i < 4; ++i) {
    const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
    for (int j = 0; j < 4; ++j) {
      const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
      destination->m[j][i] = PairedSum(row, column);
    }
  }
  if (destination != out) *out = local;
  return out;
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

}  // namespace x87

}  // namespace kubik
