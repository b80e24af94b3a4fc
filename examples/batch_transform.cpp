// A batch job: place a grid of vertices in the world with one strided array
// call, then pack the positions as IEEE halves, the form a vertex buffer of
// 16-bit floats wants. Reports the family the library chose for this
// processor and checks the packed values against the float results.
#include <kubik/kmath.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Vertex {
  KMVECTOR3 position;
  KMVECTOR2 uv;  // carried along, untouched by the transform
};

}  // namespace

int main() {
  // A 64 x 64 grid in the xz plane around the origin.
  std::vector<Vertex> vertices;
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      const KMVECTOR3 p(static_cast<float>(i - 32) * 0.25f, 0.0f,
                        static_cast<float>(j - 32) * 0.25f);
      vertices.push_back({p, KMVECTOR2(i / 63.0f, j / 63.0f)});
    }
  }
  const auto count = static_cast<std::uint32_t>(vertices.size());

  // Scale, then turn about y, then move: matrices apply left to right.
  KMMATRIX scale, turn, move;
  KMMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
  KMMatrixRotationY(&turn, 0.5f);
  KMMatrixTranslation(&move, 10.0f, -3.0f, 40.0f);
  const KMMATRIX world = scale * turn * move;

  // In place, reading and writing the positions inside the vertex records.
  KMVec3TransformCoordArray(&vertices[0].position, sizeof(Vertex), &vertices[0].position,
                            sizeof(Vertex), &world, count);

  std::vector<float> positions;
  for (const Vertex& v : vertices)
    positions.insert(positions.end(), {v.position.x, v.position.y, v.position.z});
  std::vector<KMFLOAT16> packed(positions.size());
  KMFloat32ToIeeeHalfArray(packed.data(), positions.data(),
                           static_cast<std::uint32_t>(positions.size()));
  std::vector<float> unpacked(positions.size());
  KMIeeeHalfToFloat32Array(unpacked.data(), packed.data(),
                           static_cast<std::uint32_t>(packed.size()));

  int failures = 0;
  // A half keeps 11 significant bits: half a unit in the last place is 2^-11 relative.
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (std::fabs(unpacked[i] - positions[i]) > std::fabs(positions[i]) * 0x1p-11f + 0x1p-25f) {
      std::fprintf(stderr, "component %zu: %g packed as %g\n", i, positions[i], unpacked[i]);
      ++failures;
    }
  }
  // The grid's centre vertex went to the translation.
  const Vertex& centre = vertices[32 * 64 + 32];
  KMVECTOR3 off = centre.position - KMVECTOR3(10.0f, -3.0f, 40.0f);
  if (KMVec3Length(&off) > 1e-4f || centre.uv.x != 32 / 63.0f) {
    std::fprintf(stderr, "centre vertex at (%g %g %g)\n", centre.position.x, centre.position.y,
                 centre.position.z);
    ++failures;
  }
  // Out of the half range the IEEE form gives infinity, which a GPU reads as such.
  const float too_big = 70000.0f;
  KMFLOAT16 overflow;
  KMFloat32ToIeeeHalfArray(&overflow, &too_big, 1);
  if (overflow.value != 0x7c00) ++failures;

  std::printf("batch transform: %u vertices on the %s family, %zu halves packed: %s\n", count,
              KMGetImplementationFamily(), packed.size(), failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
