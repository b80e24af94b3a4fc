// Reference plane, colour and Fresnel operations, through their public entries.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/math/family_test_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using kubik::testing::SameBits;

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

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Equal values; a zero of either sign matches.
void ExpectPlaneEq(const KMPLANE& actual, const KMPLANE& expected) {
  EXPECT_EQ(actual.a, expected.a);
  EXPECT_EQ(actual.b, expected.b);
  EXPECT_EQ(actual.c, expected.c);
  EXPECT_EQ(actual.d, expected.d);
}

// ---- Intersection with a line ------------------------------------------------

TEST(PlaneIntersectLine, LineIsUnbounded) {
  const KMPLANE z_is_1(0, 0, 1, -1);
  const KMVECTOR3 origin(0, 0, 0), up2(0, 0, 2), up3(0, 0, 3), up5(0, 0, 5);
  KMVECTOR3 out(9, 9, 9);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &origin, &up2), &out);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 1)));
  // Both points above the plane: t = -1, behind the first point.
  out = KMVECTOR3(9, 9, 9);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &up3, &up5), &out);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 1)));
  // A slanted line, with out aliasing the second point.
  const KMPLANE x_plus_y(1, 1, 0, -4);  // x + y = 4
  const KMVECTOR3 a(0, 0, 1);
  KMVECTOR3 b(1, 1, 3);
  EXPECT_EQ(KMPlaneIntersectLine(&b, &x_plus_y, &a, &b), &b);
  EXPECT_TRUE(SameBits(b, KMVECTOR3(2, 2, 5)));
}

TEST(PlaneIntersectLine, FailuresReturnNullAndLeaveOutUntouched) {
  const KMPLANE z_is_1(0, 0, 1, -1);
  const KMVECTOR3 sentinel(-7, 8, -9);
  KMVECTOR3 out = sentinel;
  // Parallel to the plane.
  const KMVECTOR3 p(0, 0, 0), q(1, 0, 0);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &p, &q), nullptr);
  EXPECT_TRUE(SameBits(out, sentinel));
  // Coincident points.
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &q, &q), nullptr);
  EXPECT_TRUE(SameBits(out, sentinel));
  // Nearly parallel: the denominator is a denormal, t overflows float.
  const KMVECTOR3 r(0, 0, 1e-40f);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &p, &r), nullptr);
  EXPECT_TRUE(SameBits(out, sentinel));
  // NaN input: t is NaN.
  const KMVECTOR3 nan_point(0, 0, kNaN);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &z_is_1, &p, &nan_point), nullptr);
  EXPECT_TRUE(SameBits(out, sentinel));
  // Infinite d: t is infinite.
  const KMPLANE far(0, 0, 1, kInf);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &far, &p, &q), nullptr);
  EXPECT_EQ(KMPlaneIntersectLine(&out, &far, &p, &r), nullptr);
  EXPECT_TRUE(SameBits(out, sentinel));
}

// ---- Building planes ---------------------------------------------------------

TEST(PlaneFromPoints, OrientationFollowsTheWinding) {
  const KMVECTOR3 o(0, 0, 0), x(1, 0, 0), y(0, 1, 0);
  KMPLANE out;
  EXPECT_EQ(KMPlaneFromPoints(&out, &o, &x, &y), &out);
  ExpectPlaneEq(out, KMPLANE(0, 0, 1, 0));  // d = -(0) is -0.0
  KMPlaneFromPoints(&out, &o, &y, &x);
  ExpectPlaneEq(out, KMPLANE(0, 0, -1, 0));
  // Off the origin: the plane z = 3, normal scaled to unit length.
  const KMVECTOR3 a(1, 1, 3), b(5, 1, 3), c(1, 9, 3);
  KMPlaneFromPoints(&out, &a, &b, &c);
  ExpectPlaneEq(out, KMPLANE(0, 0, 1, -3));
}

TEST(PlaneFromPoints, PointsLieOnTheUnitNormalPlane) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  for (int trial = 0; trial < 100; ++trial) {
    KMVECTOR3 v[3];
    for (KMVECTOR3& p : v) p = KMVECTOR3(dist(rng), dist(rng), dist(rng));
    KMPLANE out;
    KMPlaneFromPoints(&out, &v[0], &v[1], &v[2]);
    const double len =
        std::sqrt(double{out.a} * out.a + double{out.b} * out.b + double{out.c} * out.c);
    // The normal goes through the installed KMVec3Normalize: the x87-tuned
    // one on every processor, within 1.5e-6 of unit length.
    EXPECT_NEAR(len, 1.0, 2e-6);
    for (const KMVECTOR3& p : v) {
      EXPECT_NEAR(out.a * p.x + out.b * p.y + out.c * p.z + out.d, 0.0, 1e-4) << trial;
    }
  }
}

TEST(PlaneFromPoints, CollinearPointsGiveZeroNormal) {
  const KMVECTOR3 a(1, 2, 3), b(2, 4, 6), c(3, 6, 9);
  KMPLANE out(9, 9, 9, 9);
  KMPlaneFromPoints(&out, &a, &b, &c);
  ExpectPlaneEq(out, KMPLANE(0, 0, 0, 0));
}

TEST(PlaneFromPointNormal, NormalIsKeptAsGiven) {
  const KMVECTOR3 point(0, 0, 5), normal(0, 0, 2);
  KMPLANE out;
  EXPECT_EQ(KMPlaneFromPointNormal(&out, &point, &normal), &out);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 2, -10)));
  const KMVECTOR3 p2(1, 2, 3), n2(4, -5, 6);
  KMPlaneFromPointNormal(&out, &p2, &n2);
  EXPECT_TRUE(SameBits(out, KMPLANE(4, -5, 6, -12)));
}

TEST(PlaneTransform, RowVectorTimesMatrixWithoutNormalising) {
  const KMMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  KMPLANE p(1, -1, 2, 0.5f);
  KMPLANE out;
  EXPECT_EQ(KMPlaneTransform(&out, &p, &m), &out);
  EXPECT_TRUE(SameBits(out, KMPLANE(20.5f, 23, 25.5f, 28)));
  KMPlaneTransform(&p, &p, &m);
  EXPECT_TRUE(SameBits(p, out));
}

// ---- Colours -------------------------------------------------------------------

TEST(ColorAdjustSaturation, GreyInputAndNoClamping) {
  const KMCOLOR red(1, 0, 0, 0.3f);
  KMCOLOR out;
  EXPECT_EQ(KMColorAdjustSaturation(&out, &red, 0.0f), &out);
  EXPECT_FLOAT_EQ(out.r, 0.2125f);
  EXPECT_FLOAT_EQ(out.g, 0.2125f);
  EXPECT_FLOAT_EQ(out.b, 0.2125f);
  EXPECT_EQ(out.a, 0.3f);
  KMColorAdjustSaturation(&out, &red, 1.0f);
  EXPECT_TRUE(SameBits(out, red));
  // Oversaturation leaves [0, 1]; a negative factor inverts around grey.
  KMColorAdjustSaturation(&out, &red, 2.0f);
  EXPECT_FLOAT_EQ(out.r, 1.7875f);
  EXPECT_FLOAT_EQ(out.g, -0.2125f);
  EXPECT_FLOAT_EQ(out.b, -0.2125f);
  // Green and blue weights, each alone, in place.
  KMCOLOR green(0, 1, 0, 1), blue(0, 0, 1, 1);
  KMColorAdjustSaturation(&green, &green, 0.0f);
  EXPECT_FLOAT_EQ(green.r, 0.7154f);
  KMColorAdjustSaturation(&blue, &blue, -1.0f);
  EXPECT_FLOAT_EQ(blue.r, 2 * 0.0721f);
  EXPECT_FLOAT_EQ(blue.b, 2 * 0.0721f - 1);
}

TEST(ColorAdjustContrast, NoClampingAndAlphaBitForBit) {
  const KMCOLOR c(1, 0, 0.5f, 0.3f);
  KMCOLOR out;
  EXPECT_EQ(KMColorAdjustContrast(&out, &c, 2.0f), &out);
  EXPECT_TRUE(SameBits(out, KMCOLOR(1.5f, -0.5f, 0.5f, 0.3f)));
  KMColorAdjustContrast(&out, &c, 0.0f);
  EXPECT_TRUE(SameBits(out, KMCOLOR(0.5f, 0.5f, 0.5f, 0.3f)));
  KMColorAdjustContrast(&out, &c, 1.0f);
  EXPECT_TRUE(SameBits(out, c));
  // Alpha is copied, even a NaN with a payload; out may be the input.
  KMCOLOR odd(0.25f, 0.75f, 2, std::bit_cast<float>(0x7FC12345u));
  KMColorAdjustContrast(&odd, &odd, -1.0f);
  EXPECT_TRUE(SameBits(odd, KMCOLOR(0.75f, 0.25f, -1, std::bit_cast<float>(0x7FC12345u))));
}

// ---- Fresnel term ----------------------------------------------------------------

// The unpolarised reflectance, written from the textbook form with g = sqrt(|n^2 + c^2 - 1|).
double ClosedFresnel(double c, double n) {
  const double g = std::sqrt(std::fabs(n * n + c * c - 1.0));
  const double a = (g - c) / (g + c);
  const double b = (c * (g + c) - 1.0) / (c * (g - c) + 1.0);
  return 0.5 * a * a * (1.0 + b * b);
}

TEST(FresnelTerm, KnownValues) {
  EXPECT_EQ(KMFresnelTerm(1.0f, 1.0f), 0.0f);
  EXPECT_NEAR(KMFresnelTerm(1.0f, 1.5f), 0.04f, 1e-7);
  EXPECT_NEAR(KMFresnelTerm(1.0f, 1.333f), ClosedFresnel(1.0, 1.333f), 1e-7);
}

TEST(FresnelTerm, GrazingAndBackFacingGiveOne) {
  for (float c : {0.0f, -0.0f, -0.5f, -1.0f, -kInf, std::nextafter(FLT_MIN, 0.0f),
                  std::numeric_limits<float>::denorm_min()}) {
    EXPECT_EQ(KMFresnelTerm(c, 1.5f), 1.0f) << c;
    // With n = 1 the formula itself would give 0/0 here.
    EXPECT_EQ(KMFresnelTerm(c, 1.0f), 1.0f) << c;
  }
  // FLT_MIN itself goes through the formula (and lands at 1 within rounding).
  EXPECT_NEAR(KMFresnelTerm(FLT_MIN, 1.5f), 1.0f, 1e-6);
}

TEST(FresnelTerm, MatchesTheClosedFormula) {
  // Indices below 1 cover total internal reflection (n^2 + c^2 < 1).
  for (float n : {0.3f, 0.6667f, 0.9f, 1.0f, 1.2f, 1.5f, 2.4f, 4.0f}) {
    for (int i = 1; i <= 64; ++i) {
      const float c = static_cast<float>(i) / 64.0f;
      const float f = KMFresnelTerm(c, n);
      const double expected = std::clamp(ClosedFresnel(c, n), 0.0, 1.0);
      EXPECT_NEAR(f, expected, 2e-6) << "c = " << c << ", n = " << n;
      EXPECT_GE(f, 0.0f);
      EXPECT_LE(f, 1.0f);
    }
  }
}

TEST(FresnelTerm, ClampsAboveOneAndPassesNaN) {
  // A cosine far outside [0, 1]: the rounded intermediates push the
  // unclamped value to about 1.13, and the result is clamped to 1.
  EXPECT_EQ(KMFresnelTerm(46.34547805786133f, 0.6032689213752747f), 1.0f);
  EXPECT_TRUE(std::isnan(KMFresnelTerm(kNaN, 1.5f)));
  EXPECT_TRUE(std::isnan(KMFresnelTerm(0.5f, kNaN)));
}

}  // namespace
