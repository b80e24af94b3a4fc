// The geometry pipeline in the NEON family: skinned-mesh blending with the
// position and normal transforms inlined as lane products (one load of each
// bone's rows per influence instead of a call through the table), and
// N-patch tessellation with the control net in lanes and the vertex
// attributes interpolated four floats at a time.
#include "math/types/pipeline.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "math/simd/neon/family.h"
#include "math/simd/neon/lanes.h"

namespace kubik::neon {
namespace {

template <typename Pointer>
Pointer Advanced(Pointer p, std::uint32_t bytes) {
  using Byte =
      std::conditional_t<std::is_const_v<std::remove_pointer_t<Pointer>>, const char, char>;
  return reinterpret_cast<Pointer>(reinterpret_cast<Byte*>(p) + bytes);
}

// A 12-byte triple anywhere in a vertex, moved with memcpy.
float32x4_t LoadTriple(const void* at) {
  float v[3];
  std::memcpy(v, at, sizeof v);
  return Load3(v);
}

void StoreTriple(void* at, float32x4_t v) {
  float out[3];
  Store3(out, v);
  std::memcpy(at, out, sizeof out);
}

// pb + third (d - (d . nb) nb) with d = pa - pb.
float32x4_t EdgeControlPoint(float32x4_t pa, float32x4_t pb, float32x4_t nb, float third) {
  const float32x4_t d = vsubq_f32(pa, pb);
  const float s = vaddvq_f32(vmulq_f32(d, nb));
  return vfmaq_n_f32(pb, vfmsq_n_f32(d, nb, s), third);
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
  const std::uint32_t streams =
      normal_stream_count > kMaxNormalStreams ? kMaxNormalStreams : normal_stream_count;
  // An offset past the stride leaves no tail rather than a huge copy.
  const std::size_t tail = copy_offset < stride ? stride - copy_offset : 0;
  const auto* from = static_cast<const char*>(source);
  auto* to = static_cast<char*>(destination);
  float32x4_t normals[kMaxNormalStreams];

  for (std::uint32_t vertex = 0; vertex < vertex_count; ++vertex) {
    float32x4_t position = vdupq_n_f32(0.0f);
    for (std::uint32_t i = 0; i < streams; ++i) normals[i] = vdupq_n_f32(0.0f);

    const float32x4_t source_position = LoadTriple(from);
    for (;; ++influences) {
      const float entry = *influences;
      // Negative entries and NaNs end the run; -0.0 compares equal to zero
      // and is an influence of bone 0 with weight 0.
      if (!(entry >= 0.0f)) break;
      const std::uint32_t bone = static_cast<std::uint32_t>(entry) >> 1;
      const float weight = static_cast<float>(static_cast<double>(entry) - 2.0 * bone);

      const float32x4_t p = PointTimes3(source_position, LoadRows(&position_matrices[bone]));
      position = vfmaq_n_f32(position, DivideByW(p, vdupq_laneq_f32(p, 3)), weight);
      if (streams != 0) {
        const Rows normal_rows = LoadRows(&normal_matrices[bone]);
        for (std::uint32_t i = 0; i < streams; ++i) {
          const float32x4_t n = DirectionTimes3(LoadTriple(source_normals[i]), normal_rows);
          normals[i] = vfmaq_n_f32(normals[i], n, weight);
        }
      }
    }
    ++influences;  // the terminating entry

    // memmove: blending in place (source == destination) is allowed.
    if (copy_first && tail) std::memmove(to + copy_offset, from + copy_offset, tail);
    StoreTriple(to, position);
    for (std::uint32_t i = 0; i < streams; ++i) StoreTriple(destination_normals[i], normals[i]);
    if (!copy_first && tail) std::memmove(to + copy_offset, from + copy_offset, tail);

    from += stride;
    to += stride;
    for (std::uint32_t i = 0; i < streams; ++i) {
      source_normals[i] = Advanced(source_normals[i], stride);
      destination_normals[i] = Advanced(destination_normals[i], stride);
    }
  }
}

void NPatchTessellate(const KMVECTOR3* normals, const float* samples, std::uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, std::uint32_t vertex_size) {
  // Sizes the vertex buffer cannot take would read or write outside the
  // records: nothing is done, as in the reference.
  if (vertex_size < kMinNPatchVertexFloats || vertex_size > kMaxNPatchVertexFloats) return;
  if (sample_count == 0) return;

  const float third = std::bit_cast<float>(kOneThirdBits);
  const float corner_weight = std::bit_cast<float>(kCornerWeightBits);
  const float* n = &normals[0].x;
  const float32x4_t n0 = Load3(n), n1 = Load3(n + 3), n2 = Load3(n + 6);
  float32x4_t net[10];
  net[0] = Load3(corner0);
  net[6] = Load3(corner1);
  net[9] = Load3(corner2);
  net[1] = EdgeControlPoint(net[6], net[0], n0, third);
  net[2] = EdgeControlPoint(net[9], net[0], n0, third);
  net[3] = EdgeControlPoint(net[0], net[6], n1, third);
  net[5] = EdgeControlPoint(net[0], net[9], n2, third);
  net[7] = EdgeControlPoint(net[9], net[6], n1, third);
  net[8] = EdgeControlPoint(net[6], net[9], n2, third);
  const float32x4_t edges = vaddq_f32(
      vaddq_f32(vaddq_f32(net[1], net[2]), vaddq_f32(net[3], net[5])), vaddq_f32(net[7], net[8]));
  const float32x4_t corners = vaddq_f32(vaddq_f32(net[0], net[6]), net[9]);
  net[4] = vfmsq_n_f32(vmulq_n_f32(edges, 0.25f), corners, corner_weight);

  float vertex[kMaxNPatchVertexFloats + 1];
  for (std::uint32_t sample = 0; sample < sample_count; ++sample) {
    // Weights: v for corner 0, w for corner 1, u for corner 2.
    const float u = samples[2 * sample], v = samples[2 * sample + 1];
    const float w = 1.0f - u - v;
    const float vw = v * w;
    const float basis[10] = {v * v * v,     3 * v * v * w, 3 * u * v * v, 3 * v * w * w, 6 * u * vw,
                             3 * u * u * v, w * w * w,     3 * u * w * w, 3 * u * u * w, u * u * u};
    float32x4_t position = vmulq_n_f32(net[0], basis[0]);
    for (int i = 1; i < 10; ++i) position = vfmaq_n_f32(position, net[i], basis[i]);
    // Lane 3 of the position is overwritten by the first attribute below.
    vst1q_f32(vertex, position);
    std::uint32_t k = 3;
    for (; vertex_size - k >= 4; k += 4) {
      float32x4_t attribute = vmulq_n_f32(vld1q_f32(corner2 + k), u);
      attribute = vfmaq_n_f32(attribute, vld1q_f32(corner0 + k), v);
      attribute = vfmaq_n_f32(attribute, vld1q_f32(corner1 + k), w);
      vst1q_f32(vertex + k, attribute);
    }
    for (; k < vertex_size; ++k) vertex[k] = u * corner2[k] + v * corner0[k] + w * corner1[k];
    std::memcpy(output, vertex, vertex_size * sizeof(float));
    output += vertex_size;
  }
}

}  // namespace kubik::neon
