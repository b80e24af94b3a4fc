// Reference plane, colour and Fresnel operations, through their public entries.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(PlaneNormalize, ScalesDWithTheNormal) {
  KMPLANE out;
  const KMPLANE p(0, 0, 2, 4);
  EXPECT_EQ(KMPlaneNormalize(&out, &p), &out);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 1, 2)));
  KMPLANE in_place(3, 0, 4, 10);
  KMPlaneNormalize(&in_place, &in_place);
  EXPECT_FLOAT_EQ(in_place.a, 0.6f);
  EXPECT_EQ(in_place.b, 0.0f);
  EXPECT_FLOAT_EQ(in_place.c, 0.8f);
  EXPECT_FLOAT_EQ(in_place.d, 2.0f);
}

TEST(PlaneNormalize, UnitNormalIsLeftAlone) {
  KMPLANE out;
  const KMPLANE p(1, 0, 0, 7);
  KMPlaneNormalize(&out, &p);
  EXPECT_TRUE(SameBits(out, p));
  // Squared normal length 1 - 2^-23: inside the tolerance, d not rescaled.
  const KMPLANE near(0, 1.0f - std::ldexp(1.0f, -24), 0, 3);
  KMPlaneNormalize(&out, &near);
  EXPECT_TRUE(SameBits(out, near));
}

TEST(PlaneNormalize, DegenerateNormalGivesZeroPlane) {
  KMPLANE out(9, 9, 9, 9);
  const KMPLANE no_normal(0, 0, 0, 5);
  KMPlaneNormalize(&out, &no_normal);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 0, 0)));
  // Squared length exactly the smallest normal float: still zero.
  const KMPLANE at_min(std::ldexp(1.0f, -63), 0, 0, 1);
  out = KMPLANE(9, 9, 9, 9);
  KMPlaneNormalize(&out, &at_min);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 0, 0)));
  const KMPLANE nan_normal(kNaN, 0, 1, 1);
  out = KMPLANE(9, 9, 9, 9);
  KMPlaneNormalize(&out, &nan_normal);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 0, 0)));
}

}  // namespace
