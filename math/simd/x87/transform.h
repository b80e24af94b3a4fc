// The record transform the x87-tuned vector and plane transforms share.
// Internal linkage: each source compiles its own copy.
#pragma once

#include "math/simd/x87/family.h"

namespace kubik::x87 {
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

}  // namespace
}  // namespace kubik::x87
