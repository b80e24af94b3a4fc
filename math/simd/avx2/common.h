// Loads, stores and small kernels shared by the AVX2 family's sources.
// Internal linkage: every source compiles its own copy with the family's
// flags, so none of this can be linked into code that runs on an older
// processor. For the same reason these sources use no out-of-line library
// templates (std::min, std::bit_cast and the like), whose shared copies the
// linker could take from a source built with these flags.
#pragma once

#include <immintrin.h>
#include <kubik/kmath.h>

#include <cstdint>
#include <cstring>

namespace kubik::avx2 {
namespace {

#define KUBIK_AVX2_LANES(a, b, c, d) _MM_SHUFFLE(d, c, b, a)

template <int I>
inline __m128 Broadcast(__m128 v) {
  return _mm_permute_ps(v, _MM_SHUFFLE(I, I, I, I));
}

// Lane I of each 128-bit half in all four lanes of that half.
template <int I>
inline __m256 BroadcastInHalves(__m256 v) {
  return _mm256_permute_ps(v, _MM_SHUFFLE(I, I, I, I));
}

inline float Lane0(__m128 v) {
  return _mm_cvtss_f32(v);
}

inline std::uint32_t Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// |x - 1| <= 2^-23 with the difference formed exactly: near 1 it is. The
// floats 1 - 2^-23 to 1 + 2^-23 are four consecutive encodings, so one
// unsigned comparison of the bits decides it, NaNs and negatives falling
// outside; two float comparisons and branches cost the single transforms
// more.
inline bool NearlyOne(float x) {
  return Bits(x) - Bits(1.0f - 0x1p-23f) <= 3u;
}

// Neither 0 nor NaN, and 1 / x rounds to a finite float: |x| from
// 2^-128 + 2^-149 up to infinity (whose reciprocal is 0). One unsigned
// comparison of the magnitude's bits, decided before the division; with
// rounding to nearest it agrees with dividing and testing on every float.
inline bool HasFiniteReciprocal(float x) {
  const std::uint32_t magnitude2 = Bits(x) << 1;  // the sign shifted out
  return magnitude2 - 0x00400002u <= 0xff000000u - 0x00400002u;
}

// (p[0], p[1], 0, 0): one 8-byte load, at any address.
inline __m128 LoadPair(const void* p) {
  return _mm_loadl_pi(_mm_setzero_ps(), static_cast<const __m64*>(p));
}

inline void StorePair(void* p, __m128 v) {
  _mm_storel_pi(static_cast<__m64*>(p), v);
}

inline __m128 LoadFloat(const void* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return _mm_set_ss(f);
}

inline void StoreFloat(void* p, __m128 v) {
  const float f = _mm_cvtss_f32(v);
  std::memcpy(p, &f, sizeof f);
}

// (x, y, z, 0): 8 bytes and 4 bytes, nothing past the 12.
inline __m128 LoadVector3(const void* p) {
  return _mm_movelh_ps(LoadPair(p), LoadFloat(static_cast<const char*>(p) + 8));
}

inline void StoreVector3(void* p, __m128 v) {
  StorePair(p, v);
  StoreFloat(static_cast<char*>(p) + 8, _mm_movehl_ps(v, v));
}

struct Rows {
  __m128 r1, r2, r3, r4;
};

inline Rows LoadRows(const KMMATRIX* m) {
  return {_mm_loadu_ps(m->m[0]), _mm_loadu_ps(m->m[1]), _mm_loadu_ps(m->m[2]),
          _mm_loadu_ps(m->m[3])};
}

// Rows 1 and 2, and rows 3 and 4, of a matrix: two 32-byte loads.
struct RowPairs {
  __m256 r12, r34;
};

inline RowPairs LoadRowPairs(const KMMATRIX* m) {
  return {_mm256_loadu_ps(m->m[0]), _mm256_loadu_ps(m->m[2])};
}

// x row1 + y row2 [+ z row3] [+ row4], one fused chain: the single
// transforms, the arrays' last elements and the skinning share it.
inline __m128 Transform3(__m128 x, __m128 y, __m128 z, const Rows& r, bool with_translation) {
  const __m128 start = with_translation ? r.r4 : _mm_setzero_ps();
  return _mm_fmadd_ps(z, r.r3, _mm_fmadd_ps(y, r.r2, _mm_fmadd_ps(x, r.r1, start)));
}

inline __m128 Transform2(__m128 x, __m128 y, const Rows& r, bool with_translation) {
  const __m128 start = with_translation ? r.r4 : _mm_setzero_ps();
  return _mm_fmadd_ps(y, r.r2, _mm_fmadd_ps(x, r.r1, start));
}

// Times 1/w unless w is within 2^-23 of 1; w = 0 gives infinities (NaN
// where the component is 0), as in the reference. One division serves every
// component.
inline __m128 DivideByW(__m128 p) {
  const __m128 w = Broadcast<3>(p);
  return NearlyOne(Lane0(w)) ? p : _mm_mul_ps(p, _mm_div_ps(_mm_set1_ps(1.0f), w));
}

constexpr float kSmallestNormal = 1.17549435e-38f;  // 2^-126

// The squared length of the first `lanes` lanes, one fused chain.
inline __m128 SquaredLength(__m128 v, int lanes) {
  __m128 sum = _mm_mul_ss(v, v);
  const __m128 y = _mm_movehdup_ps(v);
  sum = _mm_fmadd_ss(y, y, sum);
  if (lanes >= 3) {
    const __m128 z = _mm_movehl_ps(v, v);
    sum = _mm_fmadd_ss(z, z, sum);
  }
  if (lanes == 4) {
    const __m128 w = Broadcast<3>(v);
    sum = _mm_fmadd_ss(w, w, sum);
  }
  return sum;
}

// The reference's normaliser: unchanged when the squared length of the
// first `lanes` components is within 2^-23 of 1, zero when it is not above
// the smallest normal float (zero, tiny or NaN), else every lane of v
// divided by the length. The Vec3 normaliser and the look-at builder share it.
template <int kLanes>
inline __m128 Normalized(__m128 v) {
  const __m128 length_sq = SquaredLength(v, kLanes);
  const float l = Lane0(length_sq);
  if (NearlyOne(l)) return v;
  if (!(l > kSmallestNormal)) return _mm_setzero_ps();
  return _mm_div_ps(v, _mm_broadcastss_ps(_mm_sqrt_ss(length_sq)));
}

}  // namespace
}  // namespace kubik::avx2
