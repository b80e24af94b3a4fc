// NPatchTessellate: corners reproduced, which corner each barycentric weight
// belongs to, the shape of a curved edge, a flat patch and its centre
// constant, sizes and counts, and agreement of every family with the
// reference.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/math/pipeline/pipeline_family.h"

namespace {

class NPatch : public kubik::testing::PipelineFamily {};

// Corners of eight floats: position, a normal-like attribute, two more.
struct Patch {
  KMVECTOR3 normals[3];
  float corners[3][8];
};

Patch CurvedPatch() {
  const float r = static_cast<float>(std::sqrt(1.0 / 3.0));
  return {{{-r, -r, r}, {r, -r, r}, {0, r, r}},
          {{-1, -1, 0.5f, 1, 0, 0, 0.25f, 10},
           {1, -1, 0, 0, 1, 0, 0.5f, 20},
           {0, 1, -0.5f, 0, 0, 1, 0.75f, 30}}};
}

std::vector<float> Tessellate(const Patch& patch, const std::vector<float>& samples,
                              std::uint32_t size = 8) {
  const std::uint32_t count = static_cast<std::uint32_t>(samples.size() / 2);
  std::vector<float> out(count * size);
  NPatchTessellate(patch.normals, samples.data(), count, out.data(), patch.corners[0],
                   patch.corners[1], patch.corners[2], size);
  return out;
}

TEST_P(NPatch, CornerSamplesReproduceTheCornersExactly) {
  const Patch patch = CurvedPatch();
  // (0, 1) is corner 0, (0, 0) corner 1, (1, 0) corner 2.
  const std::vector<float> out = Tessellate(patch, {0, 1, 0, 0, 1, 0});
  for (int corner = 0; corner < 3; ++corner) {
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(out[corner * 8 + k], patch.corners[corner][k])
          << "corner " << corner << " float " << k;
    }
  }
}

TEST_P(NPatch, AnEdgeDependsOnlyOnItsCornersAndBulgesAlongTheirNormals) {
  // Corners 0 and 1 at x = -1 and 1 with normals tilted outward by 45
  // degrees: the edge's control points rise by 2/3 * sin * cos, and its
  // midpoint to 3/4 of that, z = 0.25.
  const float h = static_cast<float>(std::sqrt(0.5));
  Patch patch = {{{-h, 0, h}, {h, 0, h}, {0, 0, 1}},
                 {{-1, 0, 0, 1, 0, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0}, {0, 2, 0, 0, 0, 1, 0, 0}}};
  const std::vector<float> edge_samples = {0, 0.5f, 0, 0.25f, 0, 0.9f};  // u = 0
  const std::vector<float> before = Tessellate(patch, edge_samples);
  EXPECT_NEAR(before[0], 0, Tolerance());
  EXPECT_NEAR(before[1], 0, Tolerance());
  EXPECT_NEAR(before[2], 0.25f, Tolerance());
  // The attribute normal is interpolated, not renormalised.
  EXPECT_NEAR(before[3], 0.5f, Tolerance());
  EXPECT_NEAR(before[4], 0.5f, Tolerance());

  patch.corners[2][0] = 5;
  patch.corners[2][2] = -3;
  patch.corners[2][5] = 7;
  patch.normals[2] = KMVECTOR3(0.6f, 0, 0.8f);
  const std::vector<float> after = Tessellate(patch, edge_samples);
  for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], before[i]) << "float " << i;
}

TEST_P(NPatch, FlatPatchStaysInItsPlaneWithTheCentreSlightlyOff) {
  // The plane z = 1 with its own normal at every corner. The centre control
  // point sits at 0.333334 (P0 + P1 + P2), not at the centroid, so the
  // patch rises above the plane by 3/16 * 2e-6 at (1/4, 1/4): about three
  // float steps at 1.
  const Patch patch = {
      {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}},
      {{0, 0, 1, 0, 0, 0, 0, 0}, {4, 0, 1, 0, 0, 0, 0, 0}, {0, 4, 1, 0, 0, 0, 0, 0}}};
  const std::vector<float> samples = {0.25f, 0.25f, 0.5f, 0.125f, 0.125f, 0.75f};
  const std::vector<float> out = Tessellate(patch, samples);
  for (std::size_t i = 0; i < samples.size() / 2; ++i) {
    const float u = samples[2 * i], v = samples[2 * i + 1], w = 1 - u - v;
    EXPECT_NEAR(out[i * 8 + 0], 4 * w, 1e-5f) << "sample " << i;
    EXPECT_NEAR(out[i * 8 + 1], 4 * u, 1e-5f) << "sample " << i;
    EXPECT_NEAR(out[i * 8 + 2], 1, 6e-7f) << "sample " << i;
  }
  EXPECT_GE(out[2], 1 + 2 * 0x1p-23f);
  EXPECT_LE(out[2], 1 + 4 * 0x1p-23f);
}

TEST_P(NPatch, SizesAndCounts) {
  const Patch patch = CurvedPatch();
  // Vertex size 3: positions only, packed.
  std::vector<float> positions = Tessellate(patch, {0, 1, 0, 0}, 3);
  ASSERT_EQ(positions.size(), 6u);
  EXPECT_EQ(positions[3], patch.corners[1][0]);
  EXPECT_EQ(positions[5], patch.corners[1][2]);

  // No samples, or a vertex size outside 3 to 68: nothing is written.
  std::vector<float> corner(68, 1.0f), out(2 * 69, -7.0f);
  const float samples[4] = {0.25f, 0.25f, 0.5f, 0.5f};
  for (std::uint32_t size : {2u, 69u}) {
    NPatchTessellate(patch.normals, samples, 2, out.data(), corner.data(), corner.data(),
                     corner.data(), size);
  }
  NPatchTessellate(patch.normals, samples, 0, out.data(), corner.data(), corner.data(),
                   corner.data(), 68);
  for (float f : out) ASSERT_EQ(f, -7.0f);

  // The largest vertex: every float written, none past the end.
  std::vector<float> corners[3] = {std::vector<float>(68, 1.0f), std::vector<float>(68, 2.0f),
                                   std::vector<float>(68, 3.0f)};
  std::vector<float> big(2 * 68);
  NPatchTessellate(patch.normals, samples, 2, big.data(), corners[0].data(), corners[1].data(),
                   corners[2].data(), 68);
  EXPECT_NEAR(big[67], 0.25f * 3 + 0.25f * 1 + 0.5f * 2, Tolerance());
  EXPECT_NEAR(big[68 + 67], 0.5f * 3 + 0.5f * 1, Tolerance());
}

TEST_P(NPatch, AgreesWithTheReferenceOnRandomPatches) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> value(-3, 3), barycentric(-0.25f, 1.25f);
  std::uniform_int_distribution<std::uint32_t> size_of(3, 68);
  for (int trial = 0; trial < 20; ++trial) {
    const std::uint32_t size = size_of(random);
    KMVECTOR3 normals[3];
    for (KMVECTOR3& n : normals) n = KMVECTOR3(value(random), value(random), value(random));
    std::vector<float> corners[3];
    for (auto& c : corners) {
      for (std::uint32_t k = 0; k < size; ++k) c.push_back(value(random));
    }
    std::vector<float> samples(2 * 7);
    for (float& s : samples) s = barycentric(random);
    std::vector<float> want(7 * size), got(7 * size);
    kubik::reference::NPatchTessellate(normals, samples.data(), 7, want.data(), corners[0].data(),
                                       corners[1].data(), corners[2].data(), size);
    NPatchTessellate(normals, samples.data(), 7, got.data(), corners[0].data(), corners[1].data(),
                     corners[2].data(), size);
    // Unnormalised normals up to length 5 make large control points.
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_NEAR(got[i], want[i], 1e-5f * (100 + std::fabs(want[i])))
          << "trial " << trial << ", float " << i % size << " of vertex " << i / size;
    }
  }
}

KUBIK_FOR_EVERY_FAMILY(NPatch);

}  // namespace
