// AVX2 strided array transforms. Tightly packed arrays go eight elements per
// step: 2- and 3-component elements are spread into one register per
// component by shuffles or blends (no gathers), each output component is a
// fused chain over the broadcast matrix, and the results go back the same
// way.
// 4-component elements go two per register. Outputs larger than the
// last-level cache are written with non-temporal stores from the first
// 32-byte boundary inside the output on. Other strides, and the last
// elements, go one at a time. Nothing outside the elements' own bytes is
// read or written; a block loads all its elements before it stores, so the
// output may be the input with the same stride.
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"

namespace kubik::avx2 {
namespace {

enum class Form {
  kPoint,   // (v, [0,] 1) x m, four components out
  kCoord,   // the same divided by w unless w is within 2^-23 of 1
  kNormal,  // (v, [0,] 0) x m, as many components as v has
};

template <int N, Form F>
constexpr int kOut = F == Form::kPoint ? 4 : N;

// 0 until the first array call reads the last-level cache's size.
std::size_t streaming_threshold = 0;

struct Matrix8 {
  __m256 e[16];  // element k of the matrix in all eight lanes
};

void Broadcast(Matrix8& b, const KMMATRIX* m) {
  const float* elements = &m->m[0][0];
  for (int k = 0; k < 16; ++k) b.e[k] = _mm256_broadcast_ss(elements + k);
}

struct Soa {
  __m256 x, y, z, w;
};

// Output component j: x m1j + y m2j [+ z m3j] [+ m4j], one fused chain.
template <int N, Form F>
__m256 Component(const Soa& s, const Matrix8& b, int j) {
  // Started from +0 as the reference's sums are, so a -0 product does not
  // leave a -0 result.
  __m256 sum = _mm256_fmadd_ps(s.x, b.e[j], F == Form::kNormal ? _mm256_setzero_ps() : b.e[12 + j]);
  sum = _mm256_fmadd_ps(s.y, b.e[4 + j], sum);
  if constexpr (N == 3) sum = _mm256_fmadd_ps(s.z, b.e[8 + j], sum);
  return sum;
}

// Eight tightly packed 3-vectors (96 bytes). Component c of element e is
// float 3e + c of the block, in lane (3e + c) % 8 of one of its three
// registers; as 3 is invertible modulo 8 those lanes are distinct for the
// eight elements, so two blends collect every element's component c in one
// register and a rotation by c lanes lines the components up: lane l then
// holds element 3l % 8 throughout. Only the two rotations cross the 128-bit
// halves (in-lane shuffles and 128-bit inserts share one port on many
// processors, blends do not).
constexpr int kBlockLanes = 8;

// Lanes of block register k that hold component c, as a blend immediate.
constexpr int ComponentLanes(int k, int c) {
  int mask = 0;
  for (int l = 0; l < kBlockLanes; ++l) mask |= (kBlockLanes * k + l) % 3 == c ? 1 << l : 0;
  return mask;
}

// Lanes of the component-c register whose float lies in block register k.
constexpr int RegisterLanes(int k, int c) {
  int mask = 0;
  for (int e = 0; e < kBlockLanes; ++e) {
    mask |= (3 * e + c) / kBlockLanes == k ? 1 << (3 * e + c) % kBlockLanes : 0;
  }
  return mask;
}

// Lane l from lane l + C, cyclically.
template <int C>
__m256 Rotate(__m256 v) {
  if constexpr (C % kBlockLanes == 0) {
    return v;
  } else {
    constexpr auto lane = [](int l) { return (l + C + 2 * kBlockLanes) % kBlockLanes; };
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(lane(0), lane(1), lane(2), lane(3),
                                                         lane(4), lane(5), lane(6), lane(7)));
  }
}

template <int C>
__m256 Spread(const __m256 block[3]) {
  const __m256 v = _mm256_blend_ps(block[0], block[1], RegisterLanes(1, C));
  return Rotate<C>(_mm256_blend_ps(v, block[2], RegisterLanes(2, C)));
}

// Lane e from the lane Load3 puts element e in.
__m256 InElementOrder(__m256 v) {
  return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5));
}

Soa Load3(const float* p) {
  const __m256 block[3] = {_mm256_loadu_ps(p), _mm256_loadu_ps(p + 8), _mm256_loadu_ps(p + 16)};
  return {Spread<0>(block), Spread<1>(block), Spread<2>(block), _mm256_setzero_ps()};
}

// Eight tightly packed 2-vectors (64 bytes); lanes hold elements
// (0 1 4 5 | 2 3 6 7).
Soa Load2(const float* p) {
  const __m256 a = _mm256_loadu_ps(p);
  const __m256 b = _mm256_loadu_ps(p + 8);
  Soa s;
  s.x = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
  s.y = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
  s.z = s.w = _mm256_setzero_ps();
  return s;
}

template <bool kStream>
void Store256(float* p, __m256 v) {
  if constexpr (kStream) {
    _mm256_stream_ps(p, v);
  } else {
    _mm256_storeu_ps(p, v);
  }
}

// Block register K from three lined-up components, the second rotated back
// by one lane and the third by two.
template <int K>
__m256 Interleave(__m256 x, __m256 y_back_one, __m256 z_back_two) {
  const __m256 v = _mm256_blend_ps(x, y_back_one, ComponentLanes(K, 1));
  return _mm256_blend_ps(v, z_back_two, ComponentLanes(K, 2));
}

// Lined up as Load3 leaves them.
template <bool kStream>
void Store3(float* p, const Soa& r) {
  const __m256 y = Rotate<-1>(r.y), z = Rotate<-2>(r.z);
  Store256<kStream>(p, Interleave<0>(r.x, y, z));
  Store256<kStream>(p + 8, Interleave<1>(r.x, y, z));
  Store256<kStream>(p + 16, Interleave<2>(r.x, y, z));
}

// Lanes in the order of Load2.
template <bool kStream>
void Store2(float* p, const Soa& r) {
  Store256<kStream>(p, _mm256_unpacklo_ps(r.x, r.y));
  Store256<kStream>(p + 8, _mm256_unpackhi_ps(r.x, r.y));
}

// Four components per element; `Paired` when the lanes hold elements
// (0 1 4 5 | 2 3 6 7) rather than (0 1 2 3 | 4 5 6 7).
template <bool kStream, bool kPaired>
void Store4(float* p, const Soa& r) {
  const __m256 t0 = _mm256_unpacklo_ps(r.x, r.y);
  const __m256 t1 = _mm256_unpackhi_ps(r.x, r.y);
  const __m256 t2 = _mm256_unpacklo_ps(r.z, r.w);
  const __m256 t3 = _mm256_unpackhi_ps(r.z, r.w);
  const __m256 e0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));  // lane 0 | lane 4
  const __m256 e1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));  // lane 1 | lane 5
  const __m256 e2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));  // lane 2 | lane 6
  const __m256 e3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));  // lane 3 | lane 7
  if constexpr (kPaired) {
    Store256<kStream>(p, _mm256_permute2f128_ps(e0, e1, 0x20));
    Store256<kStream>(p + 8, _mm256_permute2f128_ps(e0, e1, 0x31));
    Store256<kStream>(p + 16, _mm256_permute2f128_ps(e2, e3, 0x20));
    Store256<kStream>(p + 24, _mm256_permute2f128_ps(e2, e3, 0x31));
  } else {
    Store256<kStream>(p, _mm256_permute2f128_ps(e0, e1, 0x20));
    Store256<kStream>(p + 8, _mm256_permute2f128_ps(e2, e3, 0x20));
    Store256<kStream>(p + 16, _mm256_permute2f128_ps(e0, e1, 0x31));
    Store256<kStream>(p + 24, _mm256_permute2f128_ps(e2, e3, 0x31));
  }
}

// 1/w, or 1 where w is within 2^-23 of 1 (those elements stay undivided).
__m256 ReciprocalOfW(__m256 w) {
  const __m256 one = _mm256_set1_ps(1.0f);
  // The four floats from 1 - 2^-23 to 1 + 2^-23 are consecutive encodings:
  // offset so that they are the four lowest signed integers, one compare.
  const __m256i offset = _mm256_add_epi32(_mm256_castps_si256(w), _mm256_set1_epi32(0x40800002));
  const __m256 near_one = _mm256_castsi256_ps(
      _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(0x80000004u)), offset));
  return _mm256_blendv_ps(_mm256_div_ps(one, w), one, near_one);
}

// A block's output components before the division and the stores, w
// included in the coordinate form. This and Finish are inlined: out of line,
// each block paid a call, a vzeroupper and the reloading of its constants
// (about 10 % of a 3-vector block).
template <int N, Form F>
[[gnu::always_inline]] inline Soa Transformed(const float* in, const Matrix8& b) {
  const Soa s = N == 3 ? Load3(in) : Load2(in);
  Soa r;
  r.x = Component<N, F>(s, b, 0);
  r.y = Component<N, F>(s, b, 1);
  r.z = N == 3 || F == Form::kPoint ? Component<N, F>(s, b, 2) : _mm256_setzero_ps();
  r.w = F == Form::kNormal ? _mm256_setzero_ps() : Component<N, F>(s, b, 3);
  return r;
}

template <int N, Form F, bool kStream>
[[gnu::always_inline]] inline void Finish(float* out, Soa r) {
  constexpr bool kPaired = N == 2;
  if constexpr (F == Form::kPoint) {
    if constexpr (N == 3) {
      for (__m256* c : {&r.x, &r.y, &r.z, &r.w}) *c = InElementOrder(*c);
    }
    Store4<kStream, kPaired>(out, r);
    return;
  } else if constexpr (F == Form::kCoord) {
    const __m256 reciprocal = ReciprocalOfW(r.w);
    r.x = _mm256_mul_ps(r.x, reciprocal);
    r.y = _mm256_mul_ps(r.y, reciprocal);
    if constexpr (N == 3) r.z = _mm256_mul_ps(r.z, reciprocal);
  }
  if constexpr (N == 3) {
    Store3<kStream>(out, r);
  } else {
    Store2<kStream>(out, r);
  }
}

// The tightly packed blocks from element i to `end` (a multiple of eight
// elements on), each block of 3-vector coordinates divided and stored after
// the next one is transformed: the division's latency then overlaps
// independent work, which the processor's own reordering could not reach
// (about 10 % on a processor without AVX-512). The other forms go one block
// at a time: 2-vectors lost about 18 % by it on an AVX-512 processor, which
// takes them from this family. Returns `end`.
template <int N, Form F, bool kStream, typename Out, typename In>
[[gnu::always_inline]] inline std::size_t Blocks(Out* out, const In* v, std::size_t i,
                                                 std::size_t end, const Matrix8& b) {
  float* o = reinterpret_cast<float*>(out) + kOut<N, F> * i;
  const float* in = reinterpret_cast<const float*>(v) + N * i;
  constexpr std::size_t kOutStep = 8 * kOut<N, F>, kInStep = 8 * N;
  if constexpr (N == 3 && F == Form::kCoord) {
    if (i == end) return end;
    Soa t = Transformed<N, F>(in, b);
    for (; i + 8 < end; i += 8, o += kOutStep, in += kInStep) {
      const Soa next = Transformed<N, F>(in + kInStep, b);
      Finish<N, F, kStream>(o, t);
      t = next;
    }
    Finish<N, F, kStream>(o, t);
  } else {
    for (; i < end; i += 8, o += kOutStep, in += kInStep) {
      Finish<N, F, kStream>(o, Transformed<N, F>(in, b));
    }
  }
  return end;
}

// One element at any address, in 128-bit lanes with the same chains.
template <int N, Form F>
void One(void* out, const void* in, const Rows& m) {
  float v[3];
  std::memcpy(v, in, N * sizeof(float));
  constexpr bool kTranslated = F != Form::kNormal;
  __m128 sum =
      N == 3 ? Transform3(_mm_set1_ps(v[0]), _mm_set1_ps(v[1]), _mm_set1_ps(v[2]), m, kTranslated)
             : Transform2(_mm_set1_ps(v[0]), _mm_set1_ps(v[1]), m, kTranslated);
  if constexpr (F == Form::kCoord) sum = DivideByW(sum);
  if constexpr (kOut<N, F> == 4) {
    _mm_storeu_ps(static_cast<float*>(out), sum);
  } else if constexpr (kOut<N, F> == 3) {
    StoreVector3(out, sum);
  } else {
    StorePair(out, sum);
  }
}

const char* At(const void* base, std::uint32_t stride, std::size_t i) {
  return static_cast<const char*>(base) + i * stride;
}
char* At(void* base, std::uint32_t stride, std::size_t i) {
  return static_cast<char*>(base) + i * stride;
}

// How many elements of `size` bytes precede the first one that starts on a
// 32-byte boundary; 8 or more when none of the first eight does.
std::size_t ElementsBefore32ByteBoundary(const void* out, std::size_t size) {
  std::size_t k = 0;
  while (k < 8 && ((reinterpret_cast<std::uintptr_t>(out) + k * size) & 31) != 0) ++k;
  return k;
}

template <int N, Form F, typename Out, typename In>
Out* TransformArray(Out* out, std::uint32_t out_stride, const In* v, std::uint32_t v_stride,
                    const KMMATRIX* m, std::uint32_t n) {
  constexpr std::size_t kOutBytes = kOut<N, F> * sizeof(float);
  if (n == 0) return out;  // nothing is read, the matrix included
  const Rows rows = LoadRows(m);
  std::size_t i = 0;
  if (n >= 8 && v_stride == N * sizeof(float) && out_stride == kOutBytes) {
    Matrix8 b;
    Broadcast(b, m);
    const std::size_t blocks_end = n & ~std::size_t{7};
    const std::size_t lead = ElementsBefore32ByteBoundary(out, kOutBytes);
    if (lead < 8 && std::size_t{n} * kOutBytes >= ArrayStreamingThreshold()) {
      // One at a time up to the first 32-byte boundary, then streaming
      // blocks; a block of eight outputs is a multiple of 32 bytes.
      for (; i < lead; ++i) One<N, F>(At(out, out_stride, i), At(v, v_stride, i), rows);
      i = Blocks<N, F, true>(out, v, i, i + ((n - i) & ~std::size_t{7}), b);
      _mm_sfence();
    } else {
      i = Blocks<N, F, false>(out, v, i, blocks_end, b);
    }
  }
  for (; i < n; ++i) One<N, F>(At(out, out_stride, i), At(v, v_stride, i), rows);
  return out;
}

// 4-component elements (vectors, planes) at any stride, two per register.
template <typename Out, typename In>
Out* Transform4Array(Out* out, std::uint32_t out_stride, const In* v, std::uint32_t v_stride,
                     const KMMATRIX* m, std::uint32_t n) {
  if (n == 0) return out;  // nothing is read, the matrix included
  const __m256 r1 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[0]));
  const __m256 r2 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[1]));
  const __m256 r3 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[2]));
  const __m256 r4 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(m->m[3]));
  auto transform = [&](__m256 p) {
    __m256 sum = _mm256_fmadd_ps(BroadcastInHalves<0>(p), r1, _mm256_setzero_ps());
    sum = _mm256_fmadd_ps(BroadcastInHalves<1>(p), r2, sum);
    sum = _mm256_fmadd_ps(BroadcastInHalves<2>(p), r3, sum);
    return _mm256_fmadd_ps(BroadcastInHalves<3>(p), r4, sum);
  };
  std::size_t i = 0;
  const bool tight = v_stride == 16 && out_stride == 16;
  const std::size_t lead = ElementsBefore32ByteBoundary(out, 16);
  if (tight && lead < 2 && n >= lead && std::size_t{n} * 16 >= ArrayStreamingThreshold()) {
    for (; i < lead; ++i) {
      _mm_storeu_ps(reinterpret_cast<float*>(At(out, 16, i)),
                    _mm256_castps256_ps128(transform(_mm256_castps128_ps256(
                        _mm_loadu_ps(reinterpret_cast<const float*>(At(v, 16, i)))))));
    }
    for (; i + 2 <= n; i += 2) {
      _mm256_stream_ps(reinterpret_cast<float*>(At(out, 16, i)),
                       transform(_mm256_loadu_ps(reinterpret_cast<const float*>(At(v, 16, i)))));
    }
    _mm_sfence();
  }
  for (; i + 2 <= n; i += 2) {
    const __m256 p = _mm256_insertf128_ps(
        _mm256_castps128_ps256(_mm_loadu_ps(reinterpret_cast<const float*>(At(v, v_stride, i)))),
        _mm_loadu_ps(reinterpret_cast<const float*>(At(v, v_stride, i + 1))), 1);
    const __m256 r = transform(p);
    _mm_storeu_ps(reinterpret_cast<float*>(At(out, out_stride, i)), _mm256_castps256_ps128(r));
    _mm_storeu_ps(reinterpret_cast<float*>(At(out, out_stride, i + 1)),
                  _mm256_extractf128_ps(r, 1));
  }
  if (i < n) {
    const __m256 r = transform(
        _mm256_castps128_ps256(_mm_loadu_ps(reinterpret_cast<const float*>(At(v, v_stride, i)))));
    _mm_storeu_ps(reinterpret_cast<float*>(At(out, out_stride, i)), _mm256_castps256_ps128(r));
  }
  return out;
}

}  // namespace

std::size_t ArrayStreamingThreshold() {
  std::size_t bytes = __atomic_load_n(&streaming_threshold, __ATOMIC_RELAXED);
  if (bytes == 0) {
    const long reported = sysconf(_SC_LEVEL3_CACHE_SIZE);
    bytes = reported > 0 ? static_cast<std::size_t>(reported) : std::size_t{32} << 20;
    __atomic_store_n(&streaming_threshold, bytes, __ATOMIC_RELAXED);
  }
  return bytes;
}

void SetArrayStreamingThresholdForTesting(std::size_t bytes) {
  __atomic_store_n(&streaming_threshold, bytes, __ATOMIC_RELAXED);
}

KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR2* v, uint32_t vs,
                                const KMMATRIX* m, uint32_t n) {
  return TransformArray<2, Form::kPoint>(out, os, v, vs, m, n);
}
KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, uint32_t os, const KMVECTOR2* v, uint32_t vs,
                                     const KMMATRIX* m, uint32_t n) {
  return TransformArray<2, Form::kCoord>(out, os, v, vs, m, n);
}
KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, uint32_t os, const KMVECTOR2* v, uint32_t vs,
                                      const KMMATRIX* m, uint32_t n) {
  return TransformArray<2, Form::kNormal>(out, os, v, vs, m, n);
}
KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kPoint>(out, os, v, vs, m, n);
}
KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                     const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kCoord>(out, os, v, vs, m, n);
}
KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t os, const KMVECTOR3* v, uint32_t vs,
                                      const KMMATRIX* m, uint32_t n) {
  return TransformArray<3, Form::kNormal>(out, os, v, vs, m, n);
}
KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, uint32_t os, const KMVECTOR4* v, uint32_t vs,
                                const KMMATRIX* m, uint32_t n) {
  return Transform4Array(out, os, v, vs, m, n);
}
KMPLANE* KMPlaneTransformArray(KMPLANE* out, uint32_t os, const KMPLANE* p, uint32_t ps,
                               const KMMATRIX* m, uint32_t n) {
  return Transform4Array(out, os, p, ps, m, n);
}

}  // namespace kubik::avx2
