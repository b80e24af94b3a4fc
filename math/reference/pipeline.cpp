// The reference geometry pipeline.
//
// Skinned-mesh blending: every influence transforms the source position and
// normals through the public entries, so the installed transforms serve here
// too, and the weighted results are summed in float.
//
// N-patch (PN triangle) evaluation: a cubic Bezier triangle for the position,
// linear interpolation for every further float of the vertex.
#include "math/types/pipeline.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

namespace kubik::reference {
namespace {

struct Point {
  double x, y, z;
};

Point ToPoint(const KMVECTOR3& v) {
  return {v.x, v.y, v.z};
}

// The edge point near pb toward pa: pb + weight (d - (d.nb) nb), d = pa - pb,
// i.e. a third of the way along the edge, projected onto the tangent plane at
// pb. The x and y products of the projection are rounded to float, as the
// definition of the patch has it.
KMVECTOR3 EdgeControlPoint(const KMVECTOR3& pa, const KMVECTOR3& pb, const KMVECTOR3& nb,
                           float weight) {
  const Point d{static_cast<double>(pa.x) - pb.x, static_cast<double>(pa.y) - pb.y,
                static_cast<double>(pa.z) - pb.z};
  const double s = d.z * nb.z + nb.x * d.x + d.y * nb.y;
  const double sx = static_cast<float>(s * nb.x);
  const double sy = static_cast<float>(s * nb.y);
  const double sz = s * nb.z;
  return {static_cast<float>(pb.x + weight * (d.x - sx)),
          static_cast<float>(pb.y + weight * (d.y - sy)),
          static_cast<float>(pb.z + weight * (d.z - sz))};
}

}  // namespace

void NPatchTessellate(const KMVECTOR3* normals, const float* samples, std::uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, std::uint32_t vertex_size) {
  // A vertex must hold its position, and the vertex buffer holds 68 floats:
  // other sizes would read or write outside the records, so nothing is done.
  if (vertex_size < kMinNPatchVertexFloats || vertex_size > kMaxNPatchVertexFloats) return;
  if (sample_count == 0) return;

  const float third = std::bit_cast<float>(kOneThirdBits);
  const double corner_weight = std::bit_cast<float>(kCornerWeightBits);

  KMVECTOR3 net[10];
  KMVECTOR3 n[3];
  std::memcpy(n, normals, sizeof n);
  std::memcpy(&net[0], corner0, sizeof(KMVECTOR3));
  std::memcpy(&net[6], corner1, sizeof(KMVECTOR3));
  std::memcpy(&net[9], corner2, sizeof(KMVECTOR3));
  const KMVECTOR3 &p0 = net[0], &p1 = net[6], &p2 = net[9];
  net[1] = EdgeControlPoint(p1, p0, n[0], third);
  net[2] = EdgeControlPoint(p2, p0, n[0], third);
  net[3] = EdgeControlPoint(p0, p1, n[1], third);
  net[5] = EdgeControlPoint(p0, p2, n[2], third);
  net[7] = EdgeControlPoint(p2, p1, n[1], third);
  net[8] = EdgeControlPoint(p1, p2, n[2], third);
  {
    const int edges[6] = {1, 2, 3, 5, 7, 8};
    Point e{0, 0, 0};
    for (int i : edges) {
      e.x += net[i].x;
      e.y += net[i].y;
      e.z += net[i].z;
    }
    const Point corners{static_cast<double>(p0.x) + p1.x + p2.x,
                        static_cast<double>(p0.y) + p1.y + p2.y,
                        static_cast<double>(p0.z) + p1.z + p2.z};
    net[4] = {static_cast<float>(0.25 * e.x - corner_weight * corners.x),
              static_cast<float>(0.25 * e.y - corner_weight * corners.y),
              static_cast<float>(0.25 * e.z - corner_weight * corners.z)};
  }
  Point points[10];
  for (int i = 0; i < 10; ++i) points[i] = ToPoint(net[i]);

  float vertex[kMaxNPatchVertexFloats];
  for (std::uint32_t sample = 0; sample < sample_count; ++sample) {
    // Weights: v for corner 0, w for corner 1, u for corner 2.
    const double u = samples[2 * sample];
    const double v = samples[2 * sample + 1];
    const double w = 1.0 - u - v;
    const double vw = static_cast<float>(v * w);
    const double basis[10] = {v * v * v,     3 * v * v * w, 3 * u * v * v, 3 * v * w * w,
                              6 * u * vw,    3 * u * u * v, w * w * w,     3 * u * w * w,
                              3 * u * u * w, u * u * u};
    Point position{0, 0, 0};
    for (int i = 0; i < 10; ++i) {
      position.x += basis[i] * points[i].x;
      position.y += basis[i] * points[i].y;
      position.z += basis[i] * points[i].z;
    }
    vertex[0] = static_cast<float>(position.x);
    vertex[1] = static_cast<float>(position.y);
    vertex[2] = static_cast<float>(position.z);
    for (std::uint32_t k = 3; k < vertex_size; ++k) {
      vertex[k] = static_cast<float>(u * corner2[k] + v * corner0[k] + w * corner1[k]);
    }
    std::memcpy(output, vertex, vertex_size * sizeof(float));
    output += vertex_size;
  }
}

}  // namespace kubik::reference
