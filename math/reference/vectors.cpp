// Reference vector operations: sums and products are carried in double and
// each stored component is rounded to float once.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "math/reference/reference.h"
#include "math/types/float_compare.h"

namespace kubik::reference {
namespace {

// A vector record is exactly its floats; these move it to and from an array
// so the families can share one loop.
template <typename Record>
constexpr int kComponents = static_cast<int>(sizeof(Record) / sizeof(float));

template <typename Record>
void Load(float (&to)[kComponents<Record>], const Record* from) {
  static_assert(sizeof(Record) % sizeof(float) == 0);
  std::memcpy(to, from, sizeof(Record));
}

template <typename Record>
void Store(Record* to, const float (&from)[kComponents<Record>]) {
  std::memcpy(to, from, sizeof(Record));
}

// Shared by the 2-, 3- and 4-component normalisers. All inputs are read
// before anything is stored, so out may be v.
template <typename Record>
Record* Normalize(Record* out, const Record* v) {
  constexpr int N = kComponents<Record>;
  float c[N];
  Load(c, v);
  double sum = 0.0;
  for (int i = 0; i < N; ++i) sum += static_cast<double>(c[i]) * c[i];
  const float length_sq = static_cast<float>(sum);
  if (FloatNearlyEqual(length_sq, 1.0f)) {
    // Already unit length: left exactly as it is.
    if (out != v) Store(out, c);
    return out;
  }
  if (length_sq > FLT_MIN) {
    const double k = 1.0 / std::sqrt(static_cast<double>(length_sq));
    for (int i = 0; i < N; ++i) c[i] = static_cast<float>(k * c[i]);
  } else {
    // Tiny, zero or NaN: the zero vector is the only defined answer.
    for (int i = 0; i < N; ++i) c[i] = 0.0f;
  }
  Store(out, c);
  return out;
}

}  // namespace

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  return Normalize(out, v);
}

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  return Normalize(out, v);
}

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  return Normalize(out, v);
}

}  // namespace kubik::reference
