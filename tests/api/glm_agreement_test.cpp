// The first lines a GLM user writes, written with this library, on random
// inputs: sums, scaling, dot, cross, length, lerp and comparison agree with
// GLM (exactly where both round once, else within float rounding of the
// terms' size, since GLM sums in float).
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <algorithm>
#include <cmath>
#include <glm/glm.hpp>
#include <random>

namespace {

glm::vec3 ToGlm(const KMVECTOR3& v) {
  return {v.x, v.y, v.z};
}

// Float rounding of sums of terms up to `scale` in size.
void ExpectNear(float kubik, float glm_value, float scale) {
  EXPECT_LE(std::fabs(kubik - glm_value), 4.0f * 1.2e-7f * scale) << kubik << " vs " << glm_value;
}

class GlmAgreement : public ::testing::Test {
 protected:
  KMVECTOR3 RandomVector() {
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    return KMVECTOR3(value(random_), value(random_), value(random_));
  }
  std::mt19937 random_{2024};
};

TEST_F(GlmAgreement, EverydaySnippets) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 10000; ++i) {
    const KMVECTOR3 a = RandomVector(), b = RandomVector();
    const glm::vec3 ga = ToGlm(a), gb = ToGlm(b);
    const float t = unit(random_), k = unit(random_) * 8.0f - 4.0f;

    // Sum, difference and scale: one rounding each in both libraries.
    EXPECT_EQ(ToGlm(a + b), ga + gb);
    EXPECT_EQ(ToGlm(a - b), ga - gb);
    EXPECT_EQ(ToGlm(a * k), ga * k);
    EXPECT_EQ(ToGlm(k * a), k * ga);
    EXPECT_EQ(ToGlm(-a), -ga);

    const float product_scale = std::max({std::fabs(a.x * b.x), std::fabs(a.y * b.y),
                                          std::fabs(a.z * b.z), std::fabs(a.y * b.z),
                                          std::fabs(a.z * b.y), std::fabs(a.x * b.z),
                                          std::fabs(a.z * b.x), std::fabs(a.x * b.y),
                                          std::fabs(a.y * b.x)});
    ExpectNear(KMVec3Dot(&a, &b), glm::dot(ga, gb), 3.0f * product_scale);
    KMVECTOR3 cross;
    KMVec3Cross(&cross, &a, &b);
    const glm::vec3 gcross = glm::cross(ga, gb);
    for (int c = 0; c < 3; ++c) ExpectNear(cross[c], gcross[c], 2.0f * product_scale);
    ExpectNear(KMVec3Length(&a), glm::length(ga), glm::length(ga));

    KMVECTOR3 lerp;
    KMVec3Lerp(&lerp, &a, &b, t);
    const glm::vec3 glerp = glm::mix(ga, gb, t);
    for (int c = 0; c < 3; ++c) {
      ExpectNear(lerp[c], glerp[c], std::max(std::fabs(a[c]), std::fabs(b[c])));
    }

    // Comparison by value, as GLM compares.
    const KMVECTOR3 copy = a;
    EXPECT_EQ(copy == a, ToGlm(copy) == ga);
    EXPECT_EQ(a == b, ga == gb);
    EXPECT_EQ(a != b, ga != gb);
  }
}

TEST_F(GlmAgreement, TwoAndFourComponents) {
  std::uniform_real_distribution<float> value(-10.0f, 10.0f);
  for (int i = 0; i < 10000; ++i) {
    const KMVECTOR4 a(value(random_), value(random_), value(random_), value(random_));
    const KMVECTOR4 b(value(random_), value(random_), value(random_), value(random_));
    const glm::vec4 ga(a.x, a.y, a.z, a.w), gb(b.x, b.y, b.z, b.w);
    const KMVECTOR4 sum = a + b;
    EXPECT_EQ(glm::vec4(sum.x, sum.y, sum.z, sum.w), ga + gb);
    ExpectNear(KMVec4Dot(&a, &b), glm::dot(ga, gb), 400.0f);
    ExpectNear(KMVec4Length(&a), glm::length(ga), glm::length(ga));

    const KMVECTOR2 p(a.x, a.y), q(b.x, b.y);
    const glm::vec2 gp(p.x, p.y), gq(q.x, q.y);
    const KMVECTOR2 scaled = p * 0.5f;
    EXPECT_EQ(glm::vec2(scaled.x, scaled.y), gp * 0.5f);
    ExpectNear(KMVec2Dot(&p, &q), glm::dot(gp, gq), 200.0f);
    ExpectNear(KMVec2Length(&p), glm::length(gp), glm::length(gp));
  }
}

}  // namespace
