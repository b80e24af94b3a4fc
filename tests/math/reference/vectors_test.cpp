// Reference vector operations, reached through their public entries.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "math/reference/reference.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- Normalisation --------------------------------------------------------
// The 3-component form is called directly: its slot holds the x87-tuned
// normalise on every processor, whose thresholds differ.

TEST(VectorNormalize, ZeroAndTinyGiveZero) {
  KMVECTOR3 out(9, 9, 9);
  const KMVECTOR3 zero(0, 0, 0);
  kubik::reference::KMVec3Normalize(&out, &zero);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
  // Nonzero length, but the squared length is below the smallest normal float.
  const KMVECTOR3 tiny(1e-20f, 0, 0);
  out = KMVECTOR3(9, 9, 9);
  kubik::reference::KMVec3Normalize(&out, &tiny);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
}

TEST(VectorNormalize, SmallestNormalSquaredLengthIsTheBoundary) {
  // Squared length exactly FLT_MIN (2^-126 = (2^-63)^2): not greater, so zero.
  const float at = std::ldexp(1.0f, -63);
  KMVECTOR3 out(9, 9, 9);
  const KMVECTOR3 v_at(at, 0, 0);
  kubik::reference::KMVec3Normalize(&out, &v_at);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
  // One step above in the component gives a squared length above FLT_MIN.
  const KMVECTOR3 v_above(std::nextafter(at, 1.0f), 0, 0);
  kubik::reference::KMVec3Normalize(&out, &v_above);
  EXPECT_EQ(out.x, 1.0f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.z, 0.0f);
  // The same boundary holds for the 2- and 4-component forms.
  KMVECTOR2 out2(9, 9);
  const KMVECTOR2 v2(0, at);
  KMVec2Normalize(&out2, &v2);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(0, 0)));
  KMVECTOR4 out4(9, 9, 9, 9);
  const KMVECTOR4 v4(0, 0, 0, std::nextafter(at, 1.0f));
  KMVec4Normalize(&out4, &v4);
  EXPECT_EQ(out4.w, 1.0f);
}

TEST(VectorNormalize, NearlyUnitIsLeftBitForBit) {
  // Squared lengths 1 - 2^-23 and 1 + 2^-23 are inside the tolerance: the
  // input comes back unchanged, not rescaled.
  const float below = 1.0f - std::ldexp(1.0f, -24);  // squares to 1 - 2^-23
  const KMVECTOR3 v_below(below, 0, 0);
  KMVECTOR3 out;
  kubik::reference::KMVec3Normalize(&out, &v_below);
  EXPECT_TRUE(SameBits(out, v_below));

  // 1 + y*y with y*y just above 2^-23 rounds to 1 + 2^-23.
  const float y = std::sqrt(std::ldexp(1.0f, -23));
  ASSERT_EQ(static_cast<float>(1.0 + double{y} * y), 1.0f + std::ldexp(1.0f, -23));
  const KMVECTOR4 v4_above(1, y, 0, 0);
  KMVECTOR4 out4;
  KMVec4Normalize(&out4, &v4_above);
  EXPECT_TRUE(SameBits(out4, v4_above));
}

TEST(VectorNormalize, JustOutsideTheToleranceIsRescaled) {
  // Squared length 1 - 2^-22 (two float steps below 1) is rescaled.
  const KMVECTOR2 v(0.6f, 0.8f);
  const float scale = std::sqrt(1.0f - std::ldexp(1.0f, -22));
  const KMVECTOR2 shrunk(0.6f * scale, 0.8f * scale);
  const float length_sq =
      static_cast<float>(double{shrunk.x} * shrunk.x + double{shrunk.y} * shrunk.y);
  ASSERT_LT(length_sq, 1.0f - std::ldexp(1.0f, -23));
  KMVECTOR2 out;
  KMVec2Normalize(&out, &shrunk);
  EXPECT_FALSE(SameBits(out, shrunk));
  EXPECT_NEAR(out.x, v.x, 1e-7);
  EXPECT_NEAR(out.y, v.y, 1e-7);

  // 1 + 2^-22: x = 1 + 2^-23 squares to 1 + 2^-22 after rounding.
  const KMVECTOR3 grown(1.0f + std::ldexp(1.0f, -23), 0, 0);
  KMVECTOR3 out3;
  kubik::reference::KMVec3Normalize(&out3, &grown);
  EXPECT_EQ(out3.x, 1.0f);
}

TEST(VectorNormalize, OrdinaryVectorsAndInPlace) {
  KMVECTOR3 v(3, 4, 0);
  kubik::reference::KMVec3Normalize(&v, &v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.y, 0.8f);
  EXPECT_EQ(v.z, 0.0f);
  KMVECTOR4 v4(1, 1, 1, 1);
  EXPECT_EQ(KMVec4Normalize(&v4, &v4), &v4);
  for (float c : {v4.x, v4.y, v4.z, v4.w}) EXPECT_EQ(c, 0.5f);
  KMVECTOR2 v2(-5, 12);
  KMVec2Normalize(&v2, &v2);
  EXPECT_FLOAT_EQ(v2.x, -5.0f / 13.0f);
  EXPECT_FLOAT_EQ(v2.y, 12.0f / 13.0f);
}

TEST(VectorNormalize, NaNGivesZero) {
  const KMVECTOR2 v2(kNaN, 1);
  KMVECTOR2 out2(9, 9);
  KMVec2Normalize(&out2, &v2);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(0, 0)));
  const KMVECTOR3 v3(0, kNaN, 0);
  KMVECTOR3 out3(9, 9, 9);
  kubik::reference::KMVec3Normalize(&out3, &v3);
  EXPECT_TRUE(SameBits(out3, KMVECTOR3(0, 0, 0)));
  const KMVECTOR4 v4(1, 2, 3, kNaN);
  KMVECTOR4 out4(9, 9, 9, 9);
  KMVec4Normalize(&out4, &v4);
  EXPECT_TRUE(SameBits(out4, KMVECTOR4(0, 0, 0, 0)));
}

}  // namespace
