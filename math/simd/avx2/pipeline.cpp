// AVX2 geometry pipeline. Skinned-mesh blending: the reference's walk with the family's
// transforms inline (the same fused chains and division by w as its single
// coordinate and normal transforms, so the results equal the reference's
// run on this family's table), weighted sums rounded per product as in the
// reference, and its reading of the influence entries.
#include "math/types/pipeline.h"

#include <cstdint>
#include <cstring>

#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"

namespace kubik::avx2 {
namespace {

template <std::uint32_t kStreams>
void Blend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices, const char* source,
           char* destination, std::uint32_t vertex_count, std::uint32_t stride,
           const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
           std::uint32_t stream_count, std::uint32_t copy_offset, const float* influences,
           bool copy_first) {
  const std::uint32_t streams = kStreams == 0 ? stream_count : kStreams;
  const std::size_t tail = copy_offset < stride ? stride - copy_offset : 0;
  __m128 normals[kMaxNormalStreams];

  for (std::uint32_t vertex = 0; vertex < vertex_count; ++vertex) {
    __m128 position = _mm_setzero_ps();
    for (std::uint32_t i = 0; i < streams; ++i) normals[i] = _mm_setzero_ps();
    const __m128 p = LoadVector3(source);
    const __m128 px = Broadcast<0>(p), py = Broadcast<1>(p), pz = Broadcast<2>(p);
    // One stream: its source normal is read once per vertex.
    const __m128 n0 = kStreams == 1 ? LoadVector3(source_normals[0]) : _mm_setzero_ps();

    for (;; ++influences) {
      const float entry = *influences;
      // Negative entries and NaNs end the run; -0.0 compares equal to zero
      // and is an influence of bone 0 with weight 0.
      if (!(entry >= 0.0f)) break;
      const std::uint32_t bone = static_cast<std::uint32_t>(entry) >> 1;
      const __m128 weight =
          _mm_set1_ps(static_cast<float>(static_cast<double>(entry) - 2.0 * bone));
      const __m128 f = DivideByW(Transform3(px, py, pz, LoadRows(&position_matrices[bone]), true));
      position = _mm_add_ps(position, _mm_mul_ps(f, weight));
      if (streams == 0) continue;
      const Rows q = LoadRows(&normal_matrices[bone]);
      for (std::uint32_t i = 0; i < streams; ++i) {
        const __m128 n = kStreams == 1 ? n0 : LoadVector3(source_normals[i]);
        const __m128 t = Transform3(Broadcast<0>(n), Broadcast<1>(n), Broadcast<2>(n), q, false);
        normals[i] = _mm_add_ps(normals[i], _mm_mul_ps(t, weight));
      }
    }
    ++influences;  // the terminating entry

    // memmove: blending in place (source == destination) is allowed.
    if (copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);
    StoreVector3(destination, position);
    for (std::uint32_t i = 0; i < streams; ++i) StoreVector3(destination_normals[i], normals[i]);
    if (!copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);

    source += stride;
    destination += stride;
    for (std::uint32_t i = 0; i < streams; ++i) {
      source_normals[i] = reinterpret_cast<const KMVECTOR3*>(
          reinterpret_cast<const char*>(source_normals[i]) + stride);
      destination_normals[i] =
          reinterpret_cast<KMVECTOR3*>(reinterpret_cast<char*>(destination_normals[i]) + stride);
    }
  }
}

}  // namespace

void SkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                      const void* source, void* destination, uint32_t vertex_count, uint32_t stride,
                      const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
                      uint32_t normal_stream_count, uint32_t copy_offset, const float* influences,
                      int32_t copy_first) {
  if (!normal_matrices) normal_matrices = position_matrices;
  // More streams than the accumulators hold would overrun them: the extra
  // streams are left alone.
  if (normal_stream_count > kMaxNormalStreams) normal_stream_count = kMaxNormalStreams;
  const auto* from = static_cast<const char*>(source);
  auto* to = static_cast<char*>(destination);
  if (normal_stream_count == 1) {
    Blend<1>(position_matrices, normal_matrices, from, to, vertex_count, stride, source_normals,
             destination_normals, 1, copy_offset, influences, copy_first != 0);
  } else {
    Blend<0>(position_matrices, normal_matrices, from, to, vertex_count, stride, source_normals,
             destination_normals, normal_stream_count, copy_offset, influences, copy_first != 0);
  }
}

}  // namespace kubik::avx2

// ---- N-patch evaluation -------------------------------------------------------
// The reference's control net, basis and linear attributes in single
// precision with fused multiply-adds: points are (x, y, z, 0) in one
// register, the attributes go eight per register with masked loads, so no
// corner is read past its floats.

namespace kubik::avx2 {
namespace {

// pb + third (d - (d.nb) nb) with d = pa - pb.
__m128 EdgeControlPoint(__m128 pa, __m128 pb, __m128 nb, __m128 third) {
  const __m128 d = _mm_sub_ps(pa, pb);
  const __m128 dn = _mm_mul_ps(d, nb);
  const __m128 s = _mm_add_ss(_mm_add_ss(_mm_movehl_ps(dn, dn), dn), _mm_movehdup_ps(dn));
  return _mm_fmadd_ps(third, _mm_fnmadd_ps(Broadcast<0>(s), nb, d), pb);
}

float FloatFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

void NPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, uint32_t vertex_size) {
  // Sizes the vertex buffer cannot take would read or write outside the
  // records: nothing is done, as in the reference.
  if (vertex_size < kMinNPatchVertexFloats || vertex_size > kMaxNPatchVertexFloats) return;
  if (sample_count == 0) return;

  const __m128 third = _mm_set1_ps(FloatFromBits(kOneThirdBits));
  const __m128 n0 = LoadVector3(&normals[0]), n1 = LoadVector3(&normals[1]),
               n2 = LoadVector3(&normals[2]);
  __m128 net[10];
  net[0] = LoadVector3(corner0);
  net[6] = LoadVector3(corner1);
  net[9] = LoadVector3(corner2);
  net[1] = EdgeControlPoint(net[6], net[0], n0, third);
  net[2] = EdgeControlPoint(net[9], net[0], n0, third);
  net[3] = EdgeControlPoint(net[0], net[6], n1, third);
  net[5] = EdgeControlPoint(net[0], net[9], n2, third);
  net[7] = EdgeControlPoint(net[9], net[6], n1, third);
  net[8] = EdgeControlPoint(net[6], net[9], n2, third);
  const __m128 edges =
      _mm_add_ps(_mm_add_ps(_mm_add_ps(net[1], net[2]), _mm_add_ps(net[3], net[5])),
                 _mm_add_ps(net[7], net[8]));
  const __m128 corners = _mm_add_ps(_mm_add_ps(net[0], net[6]), net[9]);
  net[4] = _mm_fmsub_ps(_mm_set1_ps(0.25f), edges,
                        _mm_mul_ps(_mm_set1_ps(FloatFromBits(kCornerWeightBits)), corners));

  // The attribute floats 3 .. vertex_size - 1 in registers of eight, the
  // last one masked.
  const std::uint32_t attributes = vertex_size - 3;
  const std::uint32_t chunks = (attributes + 7) / 8;
  const int last = static_cast<int>(attributes - 8 * (chunks ? chunks - 1 : 0));
  const __m256i last_mask =
      _mm256_cmpgt_epi32(_mm256_set1_epi32(last), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const __m256i all = _mm256_set1_epi32(-1);

  float vertex[kMaxNPatchVertexFloats + 8];
  for (std::uint32_t sample = 0; sample < sample_count; ++sample) {
    // Weights: v for corner 0, w = 1 - u - v for corner 1, u for corner 2.
    const float u = samples[2 * sample], v = samples[2 * sample + 1];
    const float w = (1.0f - u) - v;
    const float vw = v * w;  // rounded before it meets u and 6, as in the reference
    const float basis[10] = {v * v * v,     3 * v * v * w, 3 * u * v * v, 3 * v * w * w, 6 * u * vw,
                             3 * u * u * v, w * w * w,     3 * u * w * w, 3 * u * u * w, u * u * u};
    __m128 position = _mm_mul_ps(_mm_set1_ps(basis[0]), net[0]);
    for (int i = 1; i < 10; ++i) position = _mm_fmadd_ps(_mm_set1_ps(basis[i]), net[i], position);
    StoreVector3(vertex, position);

    const __m256 uu = _mm256_set1_ps(u), vv = _mm256_set1_ps(v), ww = _mm256_set1_ps(w);
    for (std::uint32_t c = 0; c < chunks; ++c) {
      const std::uint32_t k = 3 + 8 * c;
      const __m256i mask = c + 1 == chunks ? last_mask : all;
      const __m256 f = _mm256_fmadd_ps(
          uu, _mm256_maskload_ps(corner2 + k, mask),
          _mm256_fmadd_ps(vv, _mm256_maskload_ps(corner0 + k, mask),
                          _mm256_mul_ps(ww, _mm256_maskload_ps(corner1 + k, mask))));
      _mm256_storeu_ps(vertex + k, f);
    }
    std::memcpy(output, vertex, vertex_size * sizeof(float));
    output += vertex_size;
  }
}

}  // namespace kubik::avx2
