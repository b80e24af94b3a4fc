// Loads, stores and refinement steps shared by the SSE family's sources.
// Internal linkage: every source compiles its own copy with the family's
// flags. Records are touched exactly: a 3-vector is one 8-byte and one
// 4-byte access, never a 16-byte one.
#pragma once

#include <kubik/kmath.h>
#include <xmmintrin.h>

#include <cstdint>

namespace kubik::sse {
namespace {

#define KUBIK_LANES(a, b, c, d) _MM_SHUFFLE(d, c, b, a)

// Lane i of v in all four lanes.
template <int I>
inline __m128 Broadcast(__m128 v) {
  return _mm_shuffle_ps(v, v, _MM_SHUFFLE(I, I, I, I));
}

inline bool IsAligned16(const void* p) {
  return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0;
}

// (p[0], p[1], 0, 0) by one 8-byte load.
inline __m128 LoadPair(const float* p) {
  return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
}

inline void StorePair(float* p, __m128 v) {
  _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
}

// (x, y, z, 0): 8 bytes and 4 bytes.
inline __m128 LoadVector3(const float* p) {
  return _mm_movelh_ps(LoadPair(p), _mm_load_ss(p + 2));
}

inline void StoreVector3(float* p, __m128 v) {
  StorePair(p, v);
  _mm_store_ss(p + 2, _mm_movehl_ps(v, v));
}

// A matrix row: one 16-byte load when the matrix is aligned, else two
// 8-byte loads. Both give the same lanes.
template <bool Aligned>
inline __m128 LoadRow(const float* row) {
  if constexpr (Aligned) {
    return _mm_load_ps(row);
  } else {
    return _mm_loadh_pi(LoadPair(row), reinterpret_cast<const __m64*>(row + 2));
  }
}

struct Rows {
  __m128 r1, r2, r3, r4;
};

template <bool Aligned>
inline Rows LoadRows(const KMMATRIX* m) {
  return {LoadRow<Aligned>(m->m[0]), LoadRow<Aligned>(m->m[1]), LoadRow<Aligned>(m->m[2]),
          LoadRow<Aligned>(m->m[3])};
}

inline __m128 SignMask(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  alignas(16) const std::uint32_t bits[4] = {a, b, c, d};
  return _mm_load_ps(reinterpret_cast<const float*>(bits));
}

constexpr std::uint32_t kPlus = 0;
constexpr std::uint32_t kMinus = 0x80000000u;

// Reciprocal, estimate plus one Newton step, in the transforms' form:
// (r0 + r0) - (r0 * r0) * x. No zero test.
inline __m128 TransformReciprocal(__m128 x) {
  const __m128 r0 = _mm_rcp_ps(x);
  return _mm_sub_ps(_mm_add_ps(r0, r0), _mm_mul_ps(_mm_mul_ps(r0, r0), x));
}

// The same step in the form of the inverse and the line intersection:
// 2 * r0 - x * (r0 * r0).
inline __m128 Reciprocal(__m128 x) {
  const __m128 r0 = _mm_rcp_ps(x);
  return _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), r0), _mm_mul_ps(x, _mm_mul_ps(r0, r0)));
}

// Reciprocal square root, estimate plus one Newton step, in its three
// groupings (they round differently, so each user keeps its own).
// (3 - y0 * x * y0) * (y0 * 0.5): the 3-vector and plane normalisers.
inline __m128 ReciprocalSqrtNormalize3(__m128 x) {
  const __m128 y0 = _mm_rsqrt_ps(x);
  return _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_mul_ps(y0, x), y0)),
                    _mm_mul_ps(y0, _mm_set1_ps(0.5f)));
}

// ((3 - x * (y0 * y0)) * 0.5) * y0: the 4-vector and quaternion normalisers.
inline __m128 ReciprocalSqrtNormalize4(__m128 x) {
  const __m128 y0 = _mm_rsqrt_ps(x);
  return _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(x, _mm_mul_ps(y0, y0))),
                               _mm_set1_ps(0.5f)),
                    y0);
}

// (0.5 * y0) * (3 - x * y0 * y0): plane from points, shadow, reflection.
inline __m128 ReciprocalSqrtBuilders(__m128 x) {
  const __m128 y0 = _mm_rsqrt_ps(x);
  return _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(0.5f), y0),
                    _mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_mul_ps(x, y0), y0)));
}

// Lane c of the result: the 3 x 3 determinant of the rows u, a, b with
// column c left out (unsigned). The determinant, the inverse and the 4D
// cross product are built from it.
inline __m128 MinorsWithoutColumn(__m128 u, __m128 a, __m128 b) {
  const __m128 a1000 = _mm_shuffle_ps(a, a, KUBIK_LANES(1, 0, 0, 0));
  const __m128 b1000 = _mm_shuffle_ps(b, b, KUBIK_LANES(1, 0, 0, 0));
  const __m128 a2211 = _mm_shuffle_ps(a, a, KUBIK_LANES(2, 2, 1, 1));
  const __m128 b2211 = _mm_shuffle_ps(b, b, KUBIK_LANES(2, 2, 1, 1));
  const __m128 a3332 = _mm_shuffle_ps(a, a, KUBIK_LANES(3, 3, 3, 2));
  const __m128 b3332 = _mm_shuffle_ps(b, b, KUBIK_LANES(3, 3, 3, 2));
  // 2 x 2 minors of a and b, named by their columns (1-based).
  const __m128 m34_34_24_23 = _mm_sub_ps(_mm_mul_ps(a2211, b3332), _mm_mul_ps(b2211, a3332));
  const __m128 m24_14_14_13 = _mm_sub_ps(_mm_mul_ps(a1000, b3332), _mm_mul_ps(b1000, a3332));
  const __m128 m23_13_12_12 = _mm_sub_ps(_mm_mul_ps(a1000, b2211), _mm_mul_ps(b1000, a2211));
  const __m128 first = _mm_mul_ps(_mm_shuffle_ps(u, u, KUBIK_LANES(1, 0, 0, 0)), m34_34_24_23);
  const __m128 second = _mm_mul_ps(_mm_shuffle_ps(u, u, KUBIK_LANES(2, 2, 1, 1)), m24_14_14_13);
  const __m128 third = _mm_mul_ps(_mm_shuffle_ps(u, u, KUBIK_LANES(3, 3, 3, 2)), m23_13_12_12);
  return _mm_add_ps(_mm_sub_ps(first, second), third);
}

}  // namespace
}  // namespace kubik::sse
