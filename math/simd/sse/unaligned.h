// Loads and stores for records at any byte address (strided arrays and
// vertex streams may use strides that are not multiples of 4). Internal
// linkage, like sse_common.h: each source compiles its own copy.
#pragma once

#include <xmmintrin.h>

#include <cstring>

namespace kubik::sse {
namespace {

// (p[0], 0, 0, 0) by one 4-byte load.
inline __m128 LoadFloatAt(const void* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return _mm_set_ss(f);
}

inline void StoreFloatAt(void* p, __m128 v) {
  const float f = _mm_cvtss_f32(v);
  std::memcpy(p, &f, sizeof f);
}

// (x, y, z, 0): one 8-byte and one 4-byte load, nothing past the 12 bytes.
inline __m128 LoadVector3At(const void* p) {
  const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), static_cast<const __m64*>(p));
  return _mm_movelh_ps(xy, LoadFloatAt(static_cast<const char*>(p) + 8));
}

inline void StoreVector3At(void* p, __m128 v) {
  _mm_storel_pi(static_cast<__m64*>(p), v);
  StoreFloatAt(static_cast<char*>(p) + 8, _mm_movehl_ps(v, v));
}

}  // namespace
}  // namespace kubik::sse
