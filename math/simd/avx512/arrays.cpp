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
// elements go as a block that ends with the array, arrays shorter than a
// block two elements at a time. Other strides, and outputs larger than the
// last-level cache, use the AVX2 family's walk.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "math/simd/avx2/common.h"
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

[[gnu::always_inline]] inline Matrix16 Broadcast(const KMMATRIX* m) {
  Matrix16 b;
  const float* elements = &m->m[0][0];
  for (int k = 0; k < 16; ++k) b.e[k] = _mm512_set1_ps(elements[k]);
  return b;
}

__m512 Component(const __m512 s[3], const Matrix16& b, int j, Form form) {
  __m512 sum =
      _mm512_fmadd_ps(s[0], b.e[j], form == Form::kNormal ? _mm512_setzero_ps() : b.e[12 + j]);
  sum = _mm512_fmadd_ps(s[1], b.e[4 + j], sum);
  return _mm512_fmadd_ps(s[2], b.e[8 + j], sum);
}

// The lanes of register k (16 floats each) from float `first` of the block
// on.
__mmask16 LanesFrom(std::size_t first, int k) {
  const std::size_t start = 16 * static_cast<std::size_t>(k);
  if (first <= start) return static_cast<__mmask16>(0xffff);
  if (first >= start + 16) return 0;
  return static_cast<__mmask16>(0xffffu << (first - start));
}

// One block of sixteen elements between its two halves: the transformed
// components lined up, and w.
struct Transformed {
  __m512 r[3];
  __m512 w;
};

template <Form F>
[[gnu::always_inline]] inline Transformed Transform(const float* in, const Matrix16& b) {
  __m512 block[3];
  for (int r = 0; r < 3; ++r) block[r] = _mm512_loadu_ps(in + 16 * r);
  // Plain loads into registers: folded into the blends as masked loads (the
  // compilers' choice) they run at half the speed once the array is not in
  // the first-level cache.
  for (__m512& r : block) asm("" : "+v"(r));
  const __m512 s[3] = {Spread<0>(block), Spread<1>(block), Spread<2>(block)};
  return {{Component(s, b, 0, F), Component(s, b, 1, F), Component(s, b, 2, F)},
          F == Form::kNormal ? _mm512_setzero_ps() : Component(s, b, 3, F)};
}

// The coordinate form leaves elements whose w is within 2^-23 of 1
// undivided: the four floats from 1 - 2^-23 to 1 + 2^-23 are consecutive
// encodings, so w is near 1 when its bits less the first one's, as an
// unsigned number, are under the count.
constexpr int kFirstNearOne = 0x3f7ffffe;  // 1 - 2^-23
constexpr int kNearOneCount = 4;

[[gnu::always_inline]] inline __m512i FromFirstNearOne(__m512 w) {
  return _mm512_sub_epi32(_mm512_castps_si512(w), _mm512_set1_epi32(kFirstNearOne));
}

// The coordinate form's division by w, for a block.
[[gnu::always_inline]] inline Transformed Divide(Transformed t) {
  const __mmask16 near_one =
      _mm512_cmplt_epu32_mask(FromFirstNearOne(t.w), _mm512_set1_epi32(kNearOneCount));
  for (__m512& r : t.r) r = _mm512_mask_div_ps(r, ~near_one, r, t.w);
  return t;
}

// Every element divided, w near 1 or not; where that differs from Divide
// is the caller's to settle.
[[gnu::always_inline]] inline Transformed DivideAll(Transformed t) {
  for (__m512& r : t.r) r = _mm512_div_ps(r, t.w);
  return t;
}

// Stores three lined-up components of a block's elements from `skip` on
// (the earlier ones are already written).
[[gnu::always_inline]] inline void StoreLinedUp(float* out, const __m512 r[3], std::size_t skip) {
  const __m512 v[3] = {Interleave<0>(r), Interleave<1>(r), Interleave<2>(r)};
  for (int k = 0; k < 3; ++k) _mm512_mask_storeu_ps(out + 16 * k, LanesFrom(3 * skip, k), v[k]);
}

// Divides where the form does and stores the block's elements from `skip`
// on.
template <Form F>
[[gnu::always_inline]] inline void Store(float* out, Transformed t, std::size_t skip) {
  if constexpr (F == Form::kPoint) {
    for (int k = 0; k < 4; ++k) {
      const __m512 xy =
          _mm512_permutex2var_ps(t.r[0], _mm512_loadu_si512(kS4[k][0].data()), t.r[1]);
      const __m512 zw = _mm512_permutex2var_ps(t.r[2], _mm512_loadu_si512(kS4[k][1].data()), t.w);
      // Components 2 and 3 come from the second pair.
      const __m512 v = _mm512_mask_blend_ps(static_cast<__mmask16>(0xcccc), xy, zw);
      _mm512_mask_storeu_ps(out + 16 * k, LanesFrom(4 * skip, k), v);
    }
  } else {
    if constexpr (F == Form::kCoord) t = Divide(t);
    StoreLinedUp(out, t.r, skip);
  }
}

// Whole blocks of a coordinate array of at least 64 elements, software-
// pipelined over three blocks: block i + 2 is loaded and transformed and
// block i + 1 divided before block i is stored, so that the long chain
// through the divisions overlaps independent work (on long arrays about
// 8 % faster than one block at a time, and 5 % faster than one block
// ahead; shorter arrays lose a little by it, and the forms without a
// division lost by one block ahead). Returns the elements done.
//
// With `kDeferTest`, every element is divided and the least distance of
// any w's encoding from the first near-1 one is kept; if some w was near 1,
// it returns 0 for the caller to do the array again with the test. That is
// two integer operations a block in place of the test and the masked
// divisions, which made the step about 7 % faster. It needs an input that
// the output does not overwrite, and a matrix whose w is not exactly 1
// everywhere (that also counts as near 1, and would be done twice).
template <bool kDeferTest>
std::size_t PipelinedCoordinates(float* o, const float* in, std::size_t n, const KMMATRIX* m) {
  // Its own broadcast rather than the caller's by reference: with that,
  // GCC kept the matrix on the stack.
  const Matrix16 b = Broadcast(m);
  const auto divide = [](Transformed t) { return kDeferTest ? DivideAll(t) : Divide(t); };
  Transformed divided = divide(Transform<Form::kCoord>(in, b));
  Transformed transformed = Transform<Form::kCoord>(in + 48, b);
  __m512i nearest = FromFirstNearOne(divided.w);
  std::size_t i = 0;
  for (; i + 48 <= n; i += 16) {
    const Transformed next = Transform<Form::kCoord>(in + 3 * (i + 32), b);
    if constexpr (kDeferTest) nearest = _mm512_min_epu32(nearest, FromFirstNearOne(transformed.w));
    const Transformed next_divided = divide(transformed);
    StoreLinedUp(o + 3 * i, divided.r, 0);
    divided = next_divided;
    transformed = next;
  }
  if constexpr (kDeferTest) nearest = _mm512_min_epu32(nearest, FromFirstNearOne(transformed.w));
  StoreLinedUp(o + 3 * i, divided.r, 0);
  StoreLinedUp(o + 3 * (i + 16), divide(transformed).r, 0);
  i += 32;
  if (kDeferTest && _mm512_cmplt_epu32_mask(nearest, _mm512_set1_epi32(kNearOneCount)) != 0) {
    return 0;
  }
  return i;
}

// The pipelined loop testing each block, out of line so that the deferred
// one keeps the registers.
[[gnu::noinline]] std::size_t PipelinedCoordinatesTested(float* o, const float* in, std::size_t n,
                                                         const KMMATRIX* m) {
  return PipelinedCoordinates<false>(o, in, n, m);
}

// Arrays shorter than a block: `count` (1 or 2) elements, one per 128-bit
// half, with the same chains and the same test of w as the blocks. A lone
// element is loaded into both halves and stored once.
template <Form F>
[[gnu::always_inline]] inline void Pair(float* out, const float* in, std::size_t count,
                                        const __m256 rows[4]) {
  const __m256 v = _mm256_insertf128_ps(_mm256_castps128_ps256(avx2::LoadVector3(in)),
                                        avx2::LoadVector3(in + 3 * (count - 1)), 1);
  __m256 sum = _mm256_fmadd_ps(_mm256_permute_ps(v, 0x00), rows[0],
                               F == Form::kNormal ? _mm256_setzero_ps() : rows[3]);
  sum = _mm256_fmadd_ps(_mm256_permute_ps(v, 0x55), rows[1], sum);
  sum = _mm256_fmadd_ps(_mm256_permute_ps(v, 0xaa), rows[2], sum);
  if constexpr (F == Form::kCoord) {
    const __m256 w = _mm256_permute_ps(sum, 0xff);
    const __m256i from_first =
        _mm256_sub_epi32(_mm256_castps_si256(w), _mm256_set1_epi32(kFirstNearOne));
    const __mmask8 near_one = _mm256_cmplt_epu32_mask(from_first, _mm256_set1_epi32(kNearOneCount));
    sum = _mm256_mask_div_ps(sum, static_cast<__mmask8>(~near_one), sum, w);
  }
  if constexpr (F == Form::kPoint) {
    if (count == 2) {
      _mm256_storeu_ps(out, sum);
    } else {
      _mm_storeu_ps(out, _mm256_castps256_ps128(sum));
    }
  } else {
    avx2::StoreVector3(out, _mm256_castps256_ps128(sum));
    if (count == 2) avx2::StoreVector3(out + 3, _mm256_extractf128_ps(sum, 1));
  }
}

// Every access stays inside the two arrays. The elements after the last
// whole block go as one more block ending with the array, its earlier
// elements recomputed but not stored (in place, their inputs are already
// overwritten). Masked accesses reaching past an array would be cheaper to
// write but not to run: where the bytes beyond were just stored (an output
// array that follows the input, say), the load waits until those stores
// complete, which costs small arrays more than the whole transform.
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
  float* o = reinterpret_cast<float*>(out);
  const float* in = reinterpret_cast<const float*>(v);
  constexpr std::size_t kOutFloats = sizeof(Out) / sizeof(float);
  if (n < 16) {
    const __m256 rows[4] = {_mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[0])),
                            _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[1])),
                            _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[2])),
                            _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[3]))};
    for (std::size_t i = 0; i < n; i += 2) {
      Pair<F>(o + kOutFloats * i, in + 3 * i, n - i >= 2 ? 2 : 1, rows);
    }
    return out;
  }
  const Matrix16 b = Broadcast(m);
  std::size_t i = 0;
  if constexpr (F == Form::kCoord) {
    if (n >= 64) {
      // An affine matrix makes every w exactly 1 (or NaN), which the
      // deferred test would take for near 1.
      const auto at = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
      const std::size_t bytes = std::size_t{n} * sizeof(KMVECTOR3);
      const bool affine = m->m[0][3] == 0 && m->m[1][3] == 0 && m->m[2][3] == 0 && m->m[3][3] == 1;
      if (!affine && (at(o) + bytes <= at(in) || at(in) + bytes <= at(o))) {
        i = PipelinedCoordinates<true>(o, in, n, m);
      }
      if (i == 0) i = PipelinedCoordinatesTested(o, in, n, m);
    }
  }
  for (; i + 16 <= n; i += 16) Store<F>(o + kOutFloats * i, Transform<F>(in + 3 * i, b), 0);
  if (i < n) {
    const std::size_t last = n - 16;
    Store<F>(o + kOutFloats * last, Transform<F>(in + 3 * last, b), i - last);
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
