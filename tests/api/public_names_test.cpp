// The prefixed names give what the earlier names give, and
// KMGetImplementationFamily names the family the operations are bound to.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(PrefixedNames, NoiseIsTheSameFunction) {
  for (float t = -3.0f; t < 3.0f; t += 0.37f) {
    const KMVECTOR3 p(t, 0.5f * t + 0.1f, 7.3f - t);
    EXPECT_EQ(KMPerlinNoise3(&p), PerlinNoise3(&p));
  }
}

TEST(PrefixedNames, SkinningGivesTheSameBytes) {
  // Two vertices of position + normal + one copied float, one bone each,
  // the second split over two bones.
  constexpr std::uint32_t kStride = 7 * sizeof(float);
  KMMATRIX bones[2];
  KMMatrixRotationY(&bones[0], 0.7f);
  KMMatrixTranslation(&bones[1], 1.0f, 2.0f, 3.0f);
  const float source[14] = {1, 2, 3, 0, 1, 0, 42, -1, 0.5f, 2, 1, 0, 0, 43};
  const float influences[] = {0.0f + 1.0f, -1.0f, 0.0f + 0.25f, 2.0f + 0.75f, -1.0f};
  std::vector<float> by_prefixed(14, -7.0f), by_earlier(14, -7.0f);
  for (std::vector<float>* out : {&by_prefixed, &by_earlier}) {
    const KMVECTOR3* source_normals[] = {reinterpret_cast<const KMVECTOR3*>(source + 3)};
    KMVECTOR3* destination_normals[] = {reinterpret_cast<KMVECTOR3*>(out->data() + 3)};
    if (out == &by_prefixed) {
      KMSkinnedMeshBlend(bones, nullptr, source, out->data(), 2, kStride, source_normals,
                         destination_normals, 1, 6 * sizeof(float), influences, 1);
    } else {
      SkinnedMeshBlend(bones, nullptr, source, out->data(), 2, kStride, source_normals,
                       destination_normals, 1, 6 * sizeof(float), influences, 1);
    }
  }
  EXPECT_EQ(std::memcmp(by_prefixed.data(), by_earlier.data(), 14 * sizeof(float)), 0);
  EXPECT_EQ(by_prefixed[6], 42.0f);  // the copied tail arrived
  EXPECT_NE(by_prefixed[0], -7.0f);  // and the position was written
}

TEST(PrefixedNames, TessellationGivesTheSameVertices) {
  const KMVECTOR3 normals[3] = {{0, 0, 1}, {0.6f, 0, 0.8f}, {0, 0.6f, 0.8f}};
  const float corners[3][4] = {{0, 0, 0, 1}, {1, 0, 0, 2}, {0, 1, 0, 3}};
  const float samples[] = {0.2f, 0.3f, 0.5f, 0.5f, 0.0f, 1.0f};
  float by_prefixed[12], by_earlier[12];
  KMNPatchTessellate(normals, samples, 3, by_prefixed, corners[0], corners[1], corners[2], 4);
  NPatchTessellate(normals, samples, 3, by_earlier, corners[0], corners[1], corners[2], 4);
  EXPECT_EQ(std::memcmp(by_prefixed, by_earlier, sizeof by_prefixed), 0);
}

// Run again by CTest with KUBIK_MATH_FAMILY or KUBIK_DISABLE_SIMD set and
// KUBIK_EXPECTED_FAMILY naming what must be read back.
TEST(SelectedFamily, NamesTheBoundFamily) {
  const std::string name = KMGetImplementationFamily();
  EXPECT_EQ(name, KMGetImplementationFamily());  // stable, and binding happened once
  if (const char* expected = std::getenv("KUBIK_EXPECTED_FAMILY")) {
    EXPECT_EQ(name, expected);
  } else {
    EXPECT_NE(name, "unknown");
    EXPECT_FALSE(name.empty());
  }
}

}  // namespace
