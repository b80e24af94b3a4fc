// Reference N-patch (PN triangle) evaluation: a cubic Bezier triangle for the
// position, linear interpolation for every further float of the vertex.
#include <bit>
#include <cstdint>
#include <cstring>

#include "math/pipeline/pipeline.h"
#include "math/reference/reference.h"

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
