// Reference skinned-mesh blending: every influence transforms the source
// position and normals through the public entries, so the installed
// transforms serve here too, and the weighted results are summed in float.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "math/pipeline/pipeline.h"
#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

struct Triple {
  float v[3];
};

inline void AddScaled(Triple& accumulator, const KMVECTOR3& p, float weight) {
  // Each product is rounded to float before it is added.
  accumulator.v[0] += p.x * weight;
  accumulator.v[1] += p.y * weight;
  accumulator.v[2] += p.z * weight;
}

inline KMVECTOR3 LoadTriple(const void* at) {
  KMVECTOR3 v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

template <typename Pointer>
inline Pointer Advanced(Pointer p, std::uint32_t bytes) {
  using Byte =
      std::conditional_t<std::is_const_v<std::remove_pointer_t<Pointer>>, const char, char>;
  return reinterpret_cast<Pointer>(reinterpret_cast<Byte*>(p) + bytes);
}

// One stream count per instantiation: 1 is the common layout and gets a loop
// without the per-stream iteration; 0 (kAnyStreams) handles every count.
constexpr std::uint32_t kAnyStreams = 0;

template <std::uint32_t kStreams>
void Blend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices, const char* source,
           char* destination, std::uint32_t vertex_count, std::uint32_t stride,
           const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
           std::uint32_t stream_count, std::uint32_t copy_offset, const float* influences,
           bool copy_first) {
  const std::uint32_t streams = kStreams == kAnyStreams ? stream_count : kStreams;
  // An offset past the stride leaves no tail rather than a huge copy.
  const std::size_t tail = copy_offset < stride ? stride - copy_offset : 0;
  Triple position;
  Triple normals[kMaxNormalStreams];

  for (std::uint32_t vertex = 0; vertex < vertex_count; ++vertex) {
    position = {};
    for (std::uint32_t i = 0; i < streams; ++i) normals[i] = {};

    const KMVECTOR3 source_position = LoadTriple(source);
    for (;; ++influences) {
      const float entry = *influences;
      // Negative entries and NaNs end the run; -0.0 compares equal to zero
      // and is an influence of bone 0 with weight 0.
      if (!(entry >= 0.0f)) break;
      const std::uint32_t bone = static_cast<std::uint32_t>(entry) >> 1;
      const float weight = static_cast<float>(static_cast<double>(entry) - 2.0 * bone);

      KMVECTOR3 p;
      ::KMVec3TransformCoord(&p, &source_position, &position_matrices[bone]);
      AddScaled(position, p, weight);
      for (std::uint32_t i = 0; i < streams; ++i) {
        const KMVECTOR3 n_in = LoadTriple(source_normals[i]);
        KMVECTOR3 n;
        ::KMVec3TransformNormal(&n, &n_in, &normal_matrices[bone]);
        AddScaled(normals[i], n, weight);
      }
    }
    ++influences;  // the terminating entry

    // memmove: blending in place (source == destination) is allowed.
    if (copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);
    std::memcpy(destination, position.v, sizeof position.v);
    for (std::uint32_t i = 0; i < streams; ++i) {
      std::memcpy(destination_normals[i], normals[i].v, sizeof normals[i].v);
    }
    if (!copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);

    source += stride;
    destination += stride;
    for (std::uint32_t i = 0; i < streams; ++i) {
      source_normals[i] = Advanced(source_normals[i], stride);
      destination_normals[i] = Advanced(destination_normals[i], stride);
    }
  }
}

}  // namespace

void SkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                      const void* source, void* destination, std::uint32_t vertex_count,
                      std::uint32_t stride, const KMVECTOR3** source_normals,
                      KMVECTOR3** destination_normals, std::uint32_t normal_stream_count,
                      std::uint32_t copy_offset, const float* influences, std::int32_t copy_first) {
  if (!normal_matrices) normal_matrices = position_matrices;
  // More streams than the accumulators hold would overrun them: the extra
  // streams are left alone.
  if (normal_stream_count > kMaxNormalStreams) normal_stream_count = kMaxNormalStreams;
  auto* const from = static_cast<const char*>(source);
  auto* const to = static_cast<char*>(destination);
  if (normal_stream_count == 1) {
    Blend<1>(position_matrices, normal_matrices, from, to, vertex_count, stride, source_normals,
             destination_normals, 1, copy_offset, influences, copy_first != 0);
  } else {
    Blend<kAnyStreams>(position_matrices, normal_matrices, from, to, vertex_count, stride,
                       source_normals, destination_normals, normal_stream_count, copy_offset,
                       influences, copy_first != 0);
  }
}

}  // namespace kubik::reference
