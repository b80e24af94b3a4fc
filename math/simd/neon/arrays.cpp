// Array transforms of the NEON family, four elements per step in
// structure-of-arrays form: de-interleaving loads (vld2q/vld3q/vld4q) put
// every x in one register, every y in another, and so on. Packed arrays
// move four elements with one load and one store; any other stride moves
// each element with a lane load or store of exactly its own bytes, and so
// does the tail of one to three elements. Nothing outside the given
// elements is read or written.
#include <cstddef>
#include <cstdint>

#include "math/reference/combine_matrices.h"
#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"

namespace kubik::neon {
namespace {

template <int N>
struct Structures;

#define KUBIK_NEON_STRUCTURES(N)                                  \
  template <>                                                     \
  struct Structures<N> {                                          \
    using Type = float32x4x##N##_t;                               \
    static Type Load(const float* p) { return vld##N##q_f32(p); } \
    static void Store(float* p, Type v) { vst##N##q_f32(p, v); }  \
    template <int L>                                              \
    static Type LoadLane(const float* p, Type v) {                \
      return vld##N##q_lane_f32(p, v, L);                         \
    }                                                             \
    template <int L>                                              \
    static void StoreLane(float* p, Type v) {                     \
      vst##N##q_lane_f32(p, v, L);                                \
    }                                                             \
  };
KUBIK_NEON_STRUCTURES(2)
KUBIK_NEON_STRUCTURES(3)
KUBIK_NEON_STRUCTURES(4)
#undef KUBIK_NEON_STRUCTURES

template <int N>
typename Structures<N>::Type Zeros() {
  typename Structures<N>::Type v;
  for (int i = 0; i < N; ++i) v.val[i] = vdupq_n_f32(0.0f);
  return v;
}

// Lanes 0 .. count - 1 (count 1 to 4) from elements `stride` bytes apart.
template <int N>
typename Structures<N>::Type LoadElements(const unsigned char* p, std::size_t stride,
                                          std::uint32_t count) {
  using S = Structures<N>;
  auto at = [&](std::size_t i) { return reinterpret_cast<const float*>(p + i * stride); };
  typename S::Type v = Zeros<N>();
  v = S::template LoadLane<0>(at(0), v);
  if (count > 1) v = S::template LoadLane<1>(at(1), v);
  if (count > 2) v = S::template LoadLane<2>(at(2), v);
  if (count > 3) v = S::template LoadLane<3>(at(3), v);
  return v;
}

template <int N>
void StoreElements(unsigned char* p, std::size_t stride, std::uint32_t count,
                   typename Structures<N>::Type v) {
  using S = Structures<N>;
  auto at = [&](std::size_t i) { return reinterpret_cast<float*>(p + i * stride); };
  S::template StoreLane<0>(at(0), v);
  if (count > 1) S::template StoreLane<1>(at(1), v);
  if (count > 2) S::template StoreLane<2>(at(2), v);
  if (count > 3) S::template StoreLane<3>(at(3), v);
}

enum class Form {
  kPoint,      // (v, [0,] 1) x M, all four components; a 4-vector as it is
  kCoord,      // as kPoint, then divided by w unless w is within 2^-23 of 1
  kDirection,  // (v, [0,] 0) x M, only the input's components
};

template <int In, Form F>
constexpr int kOut = F == Form::kPoint ? 4 : In;

// Column j of the product for four elements.
template <int In, Form F>
float32x4_t Column(const float32x4_t (&c)[In], const KMMATRIX& m, int j) {
  float32x4_t sum = In < 4 && F != Form::kDirection ? vdupq_n_f32(m.m[3][j]) : vdupq_n_f32(0.0f);
  for (int i = 0; i < In; ++i) sum = vfmaq_n_f32(sum, c[i], m.m[i][j]);
  return sum;
}

template <int In, Form F>
typename Structures<kOut<In, F>>::Type TransformFour(typename Structures<In>::Type v,
                                                     const KMMATRIX& m) {
  float32x4_t c[In];
  for (int i = 0; i < In; ++i) c[i] = v.val[i];
  typename Structures<kOut<In, F>>::Type r;
  for (int j = 0; j < kOut<In, F>; ++j) r.val[j] = Column<In, F>(c, m, j);
  if constexpr (F == Form::kCoord) {
    const float32x4_t w = Column<In, F>(c, m, 3);
    for (int j = 0; j < In; ++j) r.val[j] = DivideByW(r.val[j], w);
  }
  return r;
}

template <int In, Form F, typename OutRecord, typename InRecord>
OutRecord* TransformArray(OutRecord* out, std::uint32_t out_stride, const InRecord* v,
                          std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  constexpr int O = kOut<In, F>;
  static_assert(sizeof(InRecord) == In * sizeof(float));
  static_assert(sizeof(OutRecord) == O * sizeof(float));
  // The matrix is copied first: it may lie inside the output array.
  const KMMATRIX matrix = *m;
  auto* to = reinterpret_cast<unsigned char*>(out);
  const auto* from = reinterpret_cast<const unsigned char*>(v);
  const bool packed_in = v_stride == sizeof(InRecord), packed_out = out_stride == sizeof(OutRecord);
  std::uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    const unsigned char* source = from + std::size_t{i} * v_stride;
    unsigned char* target = to + std::size_t{i} * out_stride;
    const typename Structures<In>::Type elements =
        packed_in ? Structures<In>::Load(reinterpret_cast<const float*>(source))
                  : LoadElements<In>(source, v_stride, 4);
    const typename Structures<O>::Type results = TransformFour<In, F>(elements, matrix);
    if (packed_out) {
      Structures<O>::Store(reinterpret_cast<float*>(target), results);
    } else {
      StoreElements<O>(target, out_stride, 4, results);
    }
  }
  if (i < n) {
    const typename Structures<In>::Type elements =
        LoadElements<In>(from + std::size_t{i} * v_stride, v_stride, n - i);
    StoreElements<O>(to + std::size_t{i} * out_stride, out_stride, n - i,
                     TransformFour<In, F>(elements, matrix));
  }
  return out;
}

// The reference's combined matrices, through this family's product and inverse.
const KMMATRIX* Combine(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                        const KMMATRIX* world) {
  return ::kubik::projection::Combine<&neon::KMMatrixMultiply>(local, projection, view, world);
}

const KMMATRIX* CombineInverse(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                               const KMMATRIX* world) {
  return ::kubik::projection::CombineInverse<&neon::KMMatrixMultiply, &neon::KMMatrixInverse>(
      local, projection, view, world);
}

}  // namespace

KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kDirection>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kDirection>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR4* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<4, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMPLANE* KMPlaneTransformArray(KMPLANE* out, std::uint32_t out_stride, const KMPLANE* plane,
                               std::uint32_t plane_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<4, Form::kPoint>(out, out_stride, plane, plane_stride, m, n);
}

KMVECTOR3* KMVec3ProjectArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                              std::uint32_t v_stride, const KMVIEWPORT* viewport,
                              const KMMATRIX* projection, const KMMATRIX* view,
                              const KMMATRIX* world, std::uint32_t n) {
  KMMATRIX local;
  const KMMATRIX* matrix = Combine(&local, projection, view, world);
  if (viewport != nullptr) {
    // The viewport mapping folded into the matrix: one transform and one
    // division per element.
    const double half_width = viewport->Width * 0.5, half_height = viewport->Height * 0.5;
    const KMMATRIX to_viewport(static_cast<float>(half_width), 0, 0, 0,    //
                               0, static_cast<float>(-half_height), 0, 0,  //
                               0, 0, static_cast<float>(double{viewport->MaxZ} - viewport->MinZ),
                               0,  //
                               static_cast<float>(viewport->X + half_width),
                               static_cast<float>(viewport->Y + half_height), viewport->MinZ, 1);
    neon::KMMatrixMultiply(&local, matrix, &to_viewport);
    matrix = &local;
  }
  return neon::KMVec3TransformCoordArray(out, out_stride, v, v_stride, matrix, n);
}

KMVECTOR3* KMVec3UnprojectArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                std::uint32_t v_stride, const KMVIEWPORT* viewport,
                                const KMMATRIX* projection, const KMMATRIX* view,
                                const KMMATRIX* world, std::uint32_t n) {
  KMMATRIX local;
  const KMMATRIX* matrix = CombineInverse(&local, projection, view, world);
  if (viewport != nullptr) {
    const double sx = 2.0 / viewport->Width, sy = 2.0 / viewport->Height;
    const double sz = 1.0 / (double{viewport->MaxZ} - viewport->MinZ);
    const KMMATRIX from_viewport(static_cast<float>(sx), 0, 0, 0,   //
                                 0, static_cast<float>(-sy), 0, 0,  //
                                 0, 0, static_cast<float>(sz), 0,   //
                                 static_cast<float>(-1.0 - viewport->X * sx),
                                 static_cast<float>(1.0 + viewport->Y * sy),
                                 static_cast<float>(-viewport->MinZ * sz), 1);
    neon::KMMatrixMultiply(&local, &from_viewport, matrix);
    matrix = &local;
  }
  return neon::KMVec3TransformCoordArray(out, out_stride, v, v_stride, matrix, n);
}

}  // namespace kubik::neon
