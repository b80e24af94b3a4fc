// Skinned-mesh blending of the SSE and SSE2 families. The bone transforms
// are done inline on matrix rows instead of through the public entries; the
// division by w always goes through the refined reciprocal estimate. An
// influence entry with its sign bit set ends a run, -0.0 included.
#include <bit>
#include <cstdint>
#include <cstring>

#include "math/pipeline/pipeline.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse/sse_common.h"
#include "math/simd/sse/sse_unaligned.h"

namespace kubik::sse {
namespace {

// Stream pointers move by bytes; the records are read and written through
// byte-address loads and stores, so any stride works.
inline const KMVECTOR3* Advanced(const KMVECTOR3* p, std::uint32_t bytes) {
  return reinterpret_cast<const KMVECTOR3*>(reinterpret_cast<const char*>(p) + bytes);
}

inline KMVECTOR3* Advanced(KMVECTOR3* p, std::uint32_t bytes) {
  return reinterpret_cast<KMVECTOR3*>(reinterpret_cast<char*>(p) + bytes);
}

// The bone of an entry, or -1 when the entry ends the run. Beyond the sign
// bit, a NaN (and anything truncation cannot turn into a bone number) ends
// it too, so no matrix outside the arrays is ever read.
inline std::int32_t DecodeBone(float entry) {
  if (std::bit_cast<std::int32_t>(entry) < 0 || !(entry < 2147483648.0f)) return -1;
  return _mm_cvtt_ss2si(_mm_set_ss(entry)) >> 1;
}

template <bool kAligned, bool kOneStream>
void BlendLoop(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
               const char* source, char* destination, std::uint32_t vertex_count,
               std::uint32_t stride, const KMVECTOR3** source_normals,
               KMVECTOR3** destination_normals, std::uint32_t stream_count,
               std::uint32_t copy_offset, const float* influences, bool copy_first) {
  const std::uint32_t streams = kOneStream ? 1 : stream_count;
  const std::size_t tail = copy_offset < stride ? stride - copy_offset : 0;
  __m128 normals[kMaxNormalStreams];

  for (std::uint32_t vertex = 0; vertex < vertex_count; ++vertex) {
    __m128 position = _mm_setzero_ps();
    for (std::uint32_t i = 0; i < streams; ++i) normals[i] = _mm_setzero_ps();
    const __m128 p = LoadVector3At(source);
    const __m128 px = Broadcast<0>(p), py = Broadcast<1>(p), pz = Broadcast<2>(p);
    // The one stream's source normal is read once per vertex.
    __m128 n0 = _mm_setzero_ps();
    if (kOneStream) n0 = LoadVector3At(source_normals[0]);

    for (;; ++influences) {
      const float entry = *influences;
      const std::int32_t bone = DecodeBone(entry);
      if (bone < 0) break;
      const __m128 weight = _mm_set1_ps(entry - static_cast<float>(2 * bone));

      const Rows r = LoadRows<kAligned>(&position_matrices[bone]);
      const __m128 f = _mm_add_ps(_mm_add_ps(_mm_mul_ps(px, r.r1), _mm_mul_ps(py, r.r2)),
                                  _mm_add_ps(_mm_mul_ps(pz, r.r3), r.r4));
      const __m128 reciprocal_w = TransformReciprocal(Broadcast<3>(f));
      position = _mm_add_ps(position, _mm_mul_ps(_mm_mul_ps(f, weight), reciprocal_w));

      if (streams == 0) continue;
      const Rows q = LoadRows<kAligned>(&normal_matrices[bone]);
      for (std::uint32_t i = 0; i < streams; ++i) {
        const __m128 n = kOneStream ? n0 : LoadVector3At(source_normals[i]);
        const __m128 t = _mm_add_ps(
            _mm_add_ps(_mm_mul_ps(Broadcast<0>(n), q.r1), _mm_mul_ps(Broadcast<1>(n), q.r2)),
            _mm_mul_ps(Broadcast<2>(n), q.r3));
        normals[i] = _mm_add_ps(normals[i], _mm_mul_ps(t, weight));
      }
    }
    ++influences;  // the terminating entry

    // memmove: blending in place (source == destination) is allowed.
    if (copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);
    StoreVector3At(destination, position);
    for (std::uint32_t i = 0; i < streams; ++i) StoreVector3At(destination_normals[i], normals[i]);
    if (!copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);

    source += stride;
    destination += stride;
    for (std::uint32_t i = 0; i < streams; ++i) {
      source_normals[i] = Advanced(source_normals[i], stride);
      destination_normals[i] = Advanced(destination_normals[i], stride);
    }
  }
}

template <bool kAligned>
void BlendAligned(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                  const char* source, char* destination, std::uint32_t vertex_count,
                  std::uint32_t stride, const KMVECTOR3** source_normals,
                  KMVECTOR3** destination_normals, std::uint32_t streams, std::uint32_t copy_offset,
                  const float* influences, bool copy_first) {
  if (streams == 1) {
    BlendLoop<kAligned, true>(position_matrices, normal_matrices, source, destination, vertex_count,
                              stride, source_normals, destination_normals, 1, copy_offset,
                              influences, copy_first);
  } else {
    BlendLoop<kAligned, false>(position_matrices, normal_matrices, source, destination,
                               vertex_count, stride, source_normals, destination_normals, streams,
                               copy_offset, influences, copy_first);
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
  auto* const from = static_cast<const char*>(source);
  auto* const to = static_cast<char*>(destination);
  // The variant is chosen once per call: single 16-byte row loads when both
  // matrix arrays allow them.
  if (IsAligned16(position_matrices) && IsAligned16(normal_matrices)) {
    BlendAligned<true>(position_matrices, normal_matrices, from, to, vertex_count, stride,
                       source_normals, destination_normals, normal_stream_count, copy_offset,
                       influences, copy_first != 0);
  } else {
    BlendAligned<false>(position_matrices, normal_matrices, from, to, vertex_count, stride,
                        source_normals, destination_normals, normal_stream_count, copy_offset,
                        influences, copy_first != 0);
  }
}

}  // namespace kubik::sse
