// AVX-512 transforms of tightly packed 3-vector arrays, sixteen elements per
// step: the components are spread into one register each by two-source
// permutes, each output component is a fused chain over the broadcast
// matrix (the AVX2 family's chains, so the results are the same), and the
// last elements go under a mask. Other strides, and outputs larger than the
// last-level cache, use the AVX2 family's walk.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "math/simd/avx2/family.h"
#include "math/simd/avx512/family.h"

namespace kubik::avx512 {
namespace {

// Lane indices of a two-source permute (0 to 15 the first source, 16 to
// 31 the second).
struct Indices {
  int lane[16];
  const int* data() const { return lane; }
  constexpr int& operator[](int i) { return lane[i]; }
};

// Component c of element i sits at float 3i + c of a 48-float block. The
// first permute picks from the block's first two registers, the second from
// its result and the third register.
constexpr Indices Gather3(int c, int step) {
  Indices idx{};
  for (int i = 0; i < 16; ++i) {
    const int pos = 3 * i + c, block = pos / 16, offset = pos % 16;
    if (step == 0) idx[i] = block == 0 ? offset : block == 1 ? 16 + offset : 0;
    if (step == 1) idx[i] = block == 2 ? 16 + offset : i;
  }
  return idx;
}

// Float j of output register b of `k` components per element: the element
// and component it holds, picked from (x, y) then from that and z, or for
// four components from (x, y) and (z, w).
constexpr Indices Scatter(int components, int b, int step) {
  Indices idx{};
  for (int j = 0; j < 16; ++j) {
    const int pos = 16 * b + j, e = pos / components, c = pos % components;
    if (step == 0) idx[j] = c == 1 ? 16 + e : e;
    if (step == 1) idx[j] = components == 3 ? (c == 2 ? 16 + e : j) : (c == 3 ? 16 + e : e);
  }
  return idx;
}

template <const Indices& I>
__m512i Load() {
  return _mm512_loadu_si512(I.data());
}

constexpr Indices kX0 = Gather3(0, 0), kX1 = Gather3(0, 1);
constexpr Indices kY0 = Gather3(1, 0), kY1 = Gather3(1, 1);
constexpr Indices kZ0 = Gather3(2, 0), kZ1 = Gather3(2, 1);
constexpr Indices kS3[3][2] = {{Scatter(3, 0, 0), Scatter(3, 0, 1)},
                               {Scatter(3, 1, 0), Scatter(3, 1, 1)},
                               {Scatter(3, 2, 0), Scatter(3, 2, 1)}};
constexpr Indices kS4[4][2] = {{Scatter(4, 0, 0), Scatter(4, 0, 1)},
                               {Scatter(4, 1, 0), Scatter(4, 1, 1)},
                               {Scatter(4, 2, 0), Scatter(4, 2, 1)},
                               {Scatter(4, 3, 0), Scatter(4, 3, 1)}};

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

// 1/w, or 1 where w is within 2^-23 of 1 (those elements stay undivided).
__m512 ReciprocalOfW(__m512 w) {
  const __m512 one = _mm512_set1_ps(1.0f);
  const __mmask16 near_one = _mm512_cmp_ps_mask(w, _mm512_set1_ps(1.0f - 0x1p-23f), _CMP_GE_OQ) &
                             _mm512_cmp_ps_mask(w, _mm512_set1_ps(1.0f + 0x1p-23f), _CMP_LE_OQ);
  return _mm512_mask_blend_ps(near_one, _mm512_div_ps(one, w), one);
}

__mmask16 FirstLanes(std::size_t count) {
  return count >= 16 ? static_cast<__mmask16>(0xffff) : static_cast<__mmask16>((1u << count) - 1u);
}

// `count` (1 to 16) elements from `in` to `out`.
template <Form F>
void Block(float* out, const float* in, std::size_t count, const Matrix16& b) {
  __m512 block[3];
  for (int r = 0; r < 3; ++r) {
    const std::size_t first = 16 * static_cast<std::size_t>(r);
    const std::size_t floats = 3 * count;
    block[r] = _mm512_maskz_loadu_ps(FirstLanes(floats > first ? floats - first : 0), in + first);
  }
  const __m512 s[3] = {
      _mm512_permutex2var_ps(_mm512_permutex2var_ps(block[0], Load<kX0>(), block[1]), Load<kX1>(),
                             block[2]),
      _mm512_permutex2var_ps(_mm512_permutex2var_ps(block[0], Load<kY0>(), block[1]), Load<kY1>(),
                             block[2]),
      _mm512_permutex2var_ps(_mm512_permutex2var_ps(block[0], Load<kZ0>(), block[1]), Load<kZ1>(),
                             block[2])};
  __m512 r[4] = {Component(s, b, 0, F), Component(s, b, 1, F), Component(s, b, 2, F),
                 _mm512_setzero_ps()};
  if constexpr (F == Form::kPoint) {
    r[3] = Component(s, b, 3, F);
    const std::size_t floats = 4 * count;
    for (int k = 0; k < 4; ++k) {
      const std::size_t first = 16 * static_cast<std::size_t>(k);
      if (floats <= first) break;
      const __m512 xy = _mm512_permutex2var_ps(r[0], _mm512_loadu_si512(kS4[k][0].data()), r[1]);
      const __m512 zw = _mm512_permutex2var_ps(r[2], _mm512_loadu_si512(kS4[k][1].data()), r[3]);
      // Components 2 and 3 come from the second pair.
      const __m512 v = _mm512_mask_blend_ps(static_cast<__mmask16>(0xcccc), xy, zw);
      _mm512_mask_storeu_ps(out + first, FirstLanes(floats - first), v);
    }
    return;
  } else if constexpr (F == Form::kCoord) {
    const __m512 reciprocal = ReciprocalOfW(Component(s, b, 3, F));
    for (int k = 0; k < 3; ++k) r[k] = _mm512_mul_ps(r[k], reciprocal);
  }
  const std::size_t floats = 3 * count;
  for (int k = 0; k < 3; ++k) {
    const std::size_t first = 16 * static_cast<std::size_t>(k);
    if (floats <= first) break;
    const __m512 xy = _mm512_permutex2var_ps(r[0], _mm512_loadu_si512(kS3[k][0].data()), r[1]);
    const __m512 v = _mm512_permutex2var_ps(xy, _mm512_loadu_si512(kS3[k][1].data()), r[2]);
    _mm512_mask_storeu_ps(out + first, FirstLanes(floats - first), v);
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
  for (std::size_t i = 0; i < n; i += 16) {
    const std::size_t count = n - i < 16 ? n - i : 16;
    Block<F>(o + kOutFloats * i, in + 3 * i, count, b);
  }
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
