// AVX2 skinned-mesh blending: the reference's walk with the family's
// transforms inline (the same fused chains and division by w as its single
// coordinate and normal transforms, so the results equal the reference's
// run on this family's table), weighted sums rounded per product as in the
// reference, and its reading of the influence entries.
#include <cstdint>
#include <cstring>

#include "math/pipeline/pipeline.h"
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
