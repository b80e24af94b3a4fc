// AVX-512 transforms of tightly packed 3-vector arrays, sixteen elements per
// step. Component c of element i sits at float 3i + c of a 48-float block,
// in lane (3i + c) % 16 of one of its three registers; as 3 is invertible
// modulo 16, those lanes are distinct for the sixteen elements. So two
// blends collect every element's component c in one register, and a
// rotation by c lanes lines the three components up: lane l then holds
// element 11 l mod 16 throughout, and the output goes back the same way.
// No cross-lane permute on the way in or out (they are what limits a
// 512-bit walk here). Each output component is a fused chain over the
// broadcast matrix (the AVX2 family's chains); the coordinate form divides
// by w rather than multiplying by its reciprocal, one rounding fewer and
// cheaper on processors whose divider runs beside the multipliers. The last
// elements go under a mask. Other strides, and outputs larger than the
// last-level cache, use the AVX2 family's walk.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "math/simd/avx2/family.h"
#include "math/simd/avx512/family.h"

namespace kubik::avx512 {
namespace {

// The lane that holds element e once the components are lined up.
constexpr int LaneOf(int e) {
  return 3 * e % 16;
}

// Lanes of block register k that hold component c.
constexpr __mmask16 ComponentLanes(int k, int c) {
  unsigned mask = 0;
  for (int l = 0; l < 16; ++l) mask |= (16 * k + l) % 3 == c ? 1u << l : 0u;
  return static_cast<__mmask16>(mask);
}

// Lanes of the component-c register whose float lies in block register k.
constexpr __mmask16 RegisterLanes(int k, int c) {
  unsigned mask = 0;
  for (int e = 0; e < 16; ++e) mask |= (3 * e + c) / 16 == k ? 1u << (3 * e + c) % 16 : 0u;
  return static_cast<__mmask16>(mask);
}

// Lane l to lane l - C (C > 0) or l + |C|, cyclically.
template <int C>
__m512 Rotate(__m512 v) {
  if constexpr (C == 0) {
    return v;
  } else {
    const __m512i i = _mm512_castps_si512(v);
    return _mm512_castsi512_ps(_mm512_alignr_epi32(i, i, (C + 16) % 16));
  }
}

template <int C>
__m512 Spread(const __m512 block[3]) {
  const __m512 v = _mm512_mask_blend_ps(RegisterLanes(1, C), block[0], block[1]);
  return Rotate<C>(_mm512_mask_blend_ps(RegisterLanes(2, C), v, block[2]));
}

template <int K>
__m512 Interleave(const __m512 lined_up[3]) {
  const __m512 v = _mm512_mask_blend_ps(ComponentLanes(K, 1), lined_up[0], Rotate<-1>(lined_up[1]));
  return _mm512_mask_blend_ps(ComponentLanes(K, 2), v, Rotate<-2>(lined_up[2]));
}

// Lane indices of a two-source permute (0 to 15 the first source, 16 to
// 31 the second).
struct Indices {
  int lane[16];
  const int* data() const { return lane; }
  constexpr int& operator[](int i) { return lane[i]; }
};

// Float j of output register b of four components per element: the
// element's lane, picked from (x, y) and from (z, w).
constexpr Indices Scatter4(int b, int step) {
  Indices idx{};
  for (int j = 0; j < 16; ++j) {
    const int pos = 16 * b + j, lane = LaneOf(pos / 4), c = pos % 4;
    idx[j] = (step == 0 ? c == 1 : c == 3) ? 16 + lane : lane;
  }
  return idx;
}
constexpr Indices kS4[4][2] = {{Scatter4(0, 0), Scatter4(0, 1)},
                               {Scatter4(1, 0), Scatter4(1, 1)},
                               {Scatter4(2, 0), Scatter4(2, 1)},
                               {Scatter4(3, 0), Scatter4(3, 1)}};

enum class Form { kPoint, kCoord, kNormal };

struct Matrix16 {
  __m512 e[16];
};

__m512 Component(const __m512 s[3], const Matrix16& b, int j, Form form) {
  __m512 sum =
      _mm512_fmadd_ps(s[0], b.e[j], form == Form::kNormal ? _mm512_setzero_ps() : b.e[12 + j]);
  sum = _mm512_fmadd_ps(s[1], b.e[4 + j], sum);
  return _mm512_fmadd_ps(s[2], b.e[8 + j], sum);
}

__mmask16 FirstLanes(std::size_t count) {
  return count >= 16 ? static_cast<__mmask16>(0xffff) : static_cast<__mmask16>((1u << count) - 1u);
}

// `count` (1 to 16) elements from `in` to `out`; unmasked when it is 16.
template <Form F>
void Block(float* out, const float* in, std::size_t count, const Matrix16& b) {
  __m512 block[3];
  for (int r = 0; r < 3; ++r) {
    const std::size_t first = 16 * static_cast<std::size_t>(r);
    const std::size_t floats = 3 * count;
    block[r] = count == 16 ? _mm512_loadu_ps(in + first)
                           : _mm512_maskz_loadu_ps(FirstLanes(floats > first ? floats - first : 0),
                                                   in + first);
  }
  // Plain loads into registers: folded into the blends as masked loads (the
  // compilers' choice) they run at half the speed once the array is not in
  // the first-level cache.
  for (__m512& r : block) asm("" : "+v"(r));
  const __m512 s[3] = {Spread<0>(block), Spread<1>(block), Spread<2>(block)};
  __m512 r[3] = {Component(s, b, 0, F), Component(s, b, 1, F), Component(s, b, 2, F)};
  if constexpr (F == Form::kPoint) {
    const __m512 w = Component(s, b, 3, F);
    const std::size_t floats = 4 * count;
    for (int k = 0; k < 4; ++k) {
      const std::size_t first = 16 * static_cast<std::size_t>(k);
      if (floats <= first) break;
      const __m512 xy = _mm512_permutex2var_ps(r[0], _mm512_loadu_si512(kS4[k][0].data()), r[1]);
      const __m512 zw = _mm512_permutex2var_ps(r[2], _mm512_loadu_si512(kS4[k][1].data()), w);
      // Components 2 and 3 come from the second pair.
      const __m512 v = _mm512_mask_blend_ps(static_cast<__mmask16>(0xcccc), xy, zw);
      _mm512_mask_storeu_ps(out + first, FirstLanes(floats - first), v);
    }
    return;
  } else if constexpr (F == Form::kCoord) {
    const __m512 w = Component(s, b, 3, F);
    // Elements whose w is within 2^-23 of 1 stay undivided: the four floats
    // from 1 - 2^-23 to 1 + 2^-23 are consecutive encodings.
    const __m512i from_below =
        _mm512_sub_epi32(_mm512_castps_si512(w), _mm512_set1_epi32(0x3f7ffffe));
    const __mmask16 near_one = _mm512_cmple_epu32_mask(from_below, _mm512_set1_epi32(3));
    for (int k = 0; k < 3; ++k) r[k] = _mm512_mask_div_ps(r[k], ~near_one, r[k], w);
  }
  const __m512 v[3] = {Interleave<0>(r), Interleave<1>(r), Interleave<2>(r)};
  for (int k = 0; k < 3; ++k) {
    const std::size_t first = 16 * static_cast<std::size_t>(k);
    if (count == 16) {
      _mm512_storeu_ps(out + first, v[k]);
    } else if (3 * count > first) {
      _mm512_mask_storeu_ps(out + first, FirstLanes(3 * count - first), v[k]);
    }
  }
}

template <Form F, typename Out>
Out* TransformArray(Out* out, std::uint32_t out_stride, const KMVECTOR3* v, std::uint32_t v_stride,
                    const KMMATRIX* m, std::uint32_t n,
                    Out* (*strided)(Out*, std::uint32_t, const KMVECTOR3*, std::uint32_t,
                                    const KMMATRIX*, std::uint32_t)) {
  if (n == 0) return out;  // nothing is read, the matrix included
  // The AVX2 walk also writes outputs beyond the last-level cache around it.
  if (v_stride != sizeof(KMVECTOR3) || out_stride != sizeof(Out) ||
      std::size_t{n} * sizeof(Out) >= avx2::ArrayStreamingThreshold()) {
    return strided(out, out_stride, v, v_stride, m, n);
  }
  Matrix16 b;
  const float* elements = &m->m[0][0];
  for (int k = 0; k < 16; ++k) b.e[k] = _mm512_set1_ps(elements[k]);
  float* o = reinterpret_cast<float*>(out);
  const float* in = reinterpret_cast<const float*>(v);
  constexpr std::size_t kOutFloats = sizeof(Out) / sizeof(float);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) Block<F>(o + kOutFloats * i, in + 3 * i, 16, b);
  if (i < n) Block<F>(o + kOutFloats * i, in + 3 * i, n - i, b);
  return out;
}

}  // namespace

KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                const KMMATRIX* m, uint32_t n) {
  return TransformArray<Form::kPoint>(out, os, v, vs, m, n, &avx2::KMVec3TransformArray);
}
KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                     const KMMATRIX* m, uint32_t n) {
  return TransformArray<Form::kCoord>(out, os, v, vs, m, n, &avx2::KMVec3TransformCoordArray);
}
KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                      const KMMATRIX* m, uint32_t n) {
  return TransformArray<Form::kNormal>(out, os, v, vs, m, n, &avx2::KMVec3TransformNormalArray);
}

}  // namespace kubik::avx512
