// The strided array transforms of the SSE family, which the SSE2 family
// instantiates with its own threshold. Above the threshold the elements go
// four at a time in structure-of-arrays form, each matrix element broadcast
// once per call; the rest, and short arrays, go one at a time through the
// single transforms. Internal linkage for the helpers: each family's source
// compiles its own copy.
#pragma once

#include <cstdint>
#include <cstring>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse/unaligned.h"

namespace kubik::sse {
namespace {

// Element k of the matrix (row-major, _11 first) in all four lanes.
struct BroadcastMatrix {
  __m128 e[16];
};

void BuildBroadcastMatrix(BroadcastMatrix& b, const KMMATRIX* m) {
  const float* elements = &m->m[0][0];
  for (int k = 0; k < 16; ++k) b.e[k] = _mm_load1_ps(elements + k);
}

// What a block computes per element.
enum class Form {
  kPoint,   // (v, [0,] 1) x m, all four components
  kCoord,   // the same divided by w; w itself not stored
  kNormal,  // (v, [0,] 0) x m, as many components as v has
  kVector4  // (x, y, z, w) x m
};

struct Soa {
  __m128 x, y, z, w;
};

inline const float* At(const void* base, std::uint32_t stride, std::uint32_t i) {
  return reinterpret_cast<const float*>(static_cast<const char*>(base) +
                                        static_cast<std::size_t>(i) * stride);
}

inline float* At(void* base, std::uint32_t stride, std::uint32_t i) {
  return reinterpret_cast<float*>(static_cast<char*>(base) + static_cast<std::size_t>(i) * stride);
}

// Four elements of N floats into lanes: (x, y) by 8-byte loads, z by a
// 4-byte load, 4-vectors by unaligned 16-byte loads. Nothing past an
// element's floats is read.
template <int N>
Soa LoadBlock(const void* in, std::uint32_t stride) {
  Soa s{};
  if constexpr (N == 4) {
    s.x = _mm_loadu_ps(At(in, stride, 0));
    s.y = _mm_loadu_ps(At(in, stride, 1));
    s.z = _mm_loadu_ps(At(in, stride, 2));
    s.w = _mm_loadu_ps(At(in, stride, 3));
    _MM_TRANSPOSE4_PS(s.x, s.y, s.z, s.w);
  } else {
    const __m128 a = _mm_movelh_ps(LoadPair(At(in, stride, 0)), LoadPair(At(in, stride, 1)));
    const __m128 b = _mm_movelh_ps(LoadPair(At(in, stride, 2)), LoadPair(At(in, stride, 3)));
    s.x = _mm_shuffle_ps(a, b, KUBIK_LANES(0, 2, 0, 2));
    s.y = _mm_shuffle_ps(a, b, KUBIK_LANES(1, 3, 1, 3));
    if constexpr (N == 3) {
      const __m128 z01 =
          _mm_unpacklo_ps(LoadFloatAt(At(in, stride, 0) + 2), LoadFloatAt(At(in, stride, 1) + 2));
      const __m128 z23 =
          _mm_unpacklo_ps(LoadFloatAt(At(in, stride, 2) + 2), LoadFloatAt(At(in, stride, 3) + 2));
      s.z = _mm_movelh_ps(z01, z23);
    }
  }
  return s;
}

// Output component j of four elements, summed left to right.
template <int N, Form F>
inline __m128 Component(const Soa& s, const BroadcastMatrix& b, int j) {
  __m128 sum = _mm_add_ps(_mm_mul_ps(s.x, b.e[j]), _mm_mul_ps(s.y, b.e[4 + j]));
  if constexpr (N >= 3) sum = _mm_add_ps(sum, _mm_mul_ps(s.z, b.e[8 + j]));
  if constexpr (N == 4) {
    sum = _mm_add_ps(sum, _mm_mul_ps(s.w, b.e[12 + j]));
  } else if constexpr (F != Form::kNormal) {
    sum = _mm_add_ps(sum, b.e[12 + j]);
  }
  return sum;
}

// Four results of four floats each, one 16-byte store per element.
inline void Store4(void* out, std::uint32_t stride, Soa r) {
  _MM_TRANSPOSE4_PS(r.x, r.y, r.z, r.w);
  _mm_storeu_ps(At(out, stride, 0), r.x);
  _mm_storeu_ps(At(out, stride, 1), r.y);
  _mm_storeu_ps(At(out, stride, 2), r.z);
  _mm_storeu_ps(At(out, stride, 3), r.w);
}

// Four results of two or three floats: (x, y) by 8-byte stores, z by a
// 4-byte store.
template <int N>
inline void StoreNarrow(void* out, std::uint32_t stride, const Soa& r) {
  const __m128 xy01 = _mm_unpacklo_ps(r.x, r.y);
  const __m128 xy23 = _mm_unpackhi_ps(r.x, r.y);
  _mm_storel_pi(reinterpret_cast<__m64*>(At(out, stride, 0)), xy01);
  _mm_storeh_pi(reinterpret_cast<__m64*>(At(out, stride, 1)), xy01);
  _mm_storel_pi(reinterpret_cast<__m64*>(At(out, stride, 2)), xy23);
  _mm_storeh_pi(reinterpret_cast<__m64*>(At(out, stride, 3)), xy23);
  if constexpr (N == 3) {
    StoreFloatAt(At(out, stride, 0) + 2, r.z);
    StoreFloatAt(At(out, stride, 1) + 2, Broadcast<1>(r.z));
    StoreFloatAt(At(out, stride, 2) + 2, _mm_movehl_ps(r.z, r.z));
    StoreFloatAt(At(out, stride, 3) + 2, Broadcast<3>(r.z));
  }
}

// One block: all four elements are loaded before any result is stored, so
// out may be in with the same stride.
template <int N, Form F>
void TransformBlock(void* out, std::uint32_t out_stride, const void* in, std::uint32_t in_stride,
                    const BroadcastMatrix& b) {
  const Soa s = LoadBlock<N>(in, in_stride);
  if constexpr (F == Form::kPoint || F == Form::kVector4) {
    Store4(out, out_stride,
           {Component<N, F>(s, b, 0), Component<N, F>(s, b, 1), Component<N, F>(s, b, 2),
            Component<N, F>(s, b, 3)});
  } else if constexpr (F == Form::kCoord) {
    const __m128 r = TransformReciprocal(Component<N, F>(s, b, 3));
    Soa result{_mm_mul_ps(Component<N, F>(s, b, 0), r), _mm_mul_ps(Component<N, F>(s, b, 1), r),
               _mm_setzero_ps(), _mm_setzero_ps()};
    if constexpr (N == 3) result.z = _mm_mul_ps(Component<N, F>(s, b, 2), r);
    StoreNarrow<N>(out, out_stride, result);
  } else {
    Soa result{Component<N, F>(s, b, 0), Component<N, F>(s, b, 1), _mm_setzero_ps(),
               _mm_setzero_ps()};
    if constexpr (N == 3) result.z = Component<N, F>(s, b, 2);
    StoreNarrow<N>(out, out_stride, result);
  }
}

// The array walk: blocks of four above `kThreshold` elements, then the rest
// one at a time through `Single`.
template <int N, Form F, std::uint32_t kThreshold, auto Single, typename Out, typename In>
Out* TransformArray(Out* out, std::uint32_t out_stride, const In* v, std::uint32_t v_stride,
                    const KMMATRIX* m, std::uint32_t n) {
  const std::uint32_t blocked = n > kThreshold ? n & ~3u : 0;
  std::uint32_t i = 0;
  if (blocked) {
    alignas(16) BroadcastMatrix b;
    BuildBroadcastMatrix(b, m);
    for (; i < blocked; i += 4) {
      TransformBlock<N, F>(At(out, out_stride, i), out_stride, At(v, v_stride, i), v_stride, b);
    }
  }
  // Through local copies: an element of an odd stride is no valid record
  // address for the single transforms. Exactly the element's bytes move.
  for (; i < n; ++i) {
    In element;
    Out result;
    std::memcpy(&element, At(v, v_stride, i), sizeof element);
    Single(&result, &element, m);
    std::memcpy(At(out, out_stride, i), &result, sizeof result);
  }
  return out;
}

}  // namespace

// The families' entries differ only in the threshold.
template <std::uint32_t T>
KMVECTOR4* ArrayTransforms<T>::KMVec2TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR2* v,
                                                    uint32_t vs, const KMMATRIX* m, uint32_t n) {
  // The 2-vector arrays reach their single transforms through the public entries.
  return TransformArray<2, Form::kPoint, T, &::KMVec2Transform>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR2* ArrayTransforms<T>::KMVec2TransformCoordArray(KMVECTOR2* out, uint32_t os,
                                                         const KMVECTOR2* v, uint32_t vs,
                                                         const KMMATRIX* m, uint32_t n) {
  return TransformArray<2, Form::kCoord, T, &::KMVec2TransformCoord>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR2* ArrayTransforms<T>::KMVec2TransformNormalArray(KMVECTOR2* out, uint32_t os,
                                                          const KMVECTOR2* v, uint32_t vs,
                                                          const KMMATRIX* m, uint32_t n) {
  return TransformArray<2, Form::kNormal, T, &::KMVec2TransformNormal>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR4* ArrayTransforms<T>::KMVec3TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR3* v,
                                                    uint32_t vs, const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kPoint, T, &sse::KMVec3Transform>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR3* ArrayTransforms<T>::KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t os,
                                                         const KMVECTOR3* v, uint32_t vs,
                                                         const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kCoord, T, &sse::KMVec3TransformCoord>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR3* ArrayTransforms<T>::KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t os,
                                                          const KMVECTOR3* v, uint32_t vs,
                                                          const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kNormal, T, &sse::KMVec3TransformNormal>(out, os, v, vs, m, n);
}
template <std::uint32_t T>
KMVECTOR4* ArrayTransforms<T>::KMVec4TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR4* v,
                                                    uint32_t vs, const KMMATRIX* m, uint32_t n) {
  return TransformArray<4, Form::kVector4, T, &sse::KMVec4Transform>(out, os, v, vs, m, n);
}
// A plane is transformed as a 4-vector.
template <std::uint32_t T>
KMPLANE* ArrayTransforms<T>::KMPlaneTransformArray(KMPLANE* out, uint32_t os, const KMPLANE* p,
                                                   uint32_t ps, const KMMATRIX* m, uint32_t n) {
  return TransformArray<4, Form::kVector4, T, &sse::KMPlaneTransform>(out, os, p, ps, m, n);
}

}  // namespace kubik::sse
