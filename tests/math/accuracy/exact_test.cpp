// The exact results and their magnitudes on cases worked by hand: the
// branches each operation defines, the cases without a result, and the
// cases the measure builds for every kind of input.
#include "tests/math/accuracy/exact.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "tests/math/accuracy/measure.h"
#include "tests/math/accuracy/pipeline_measure.h"

namespace kubik::accuracy {
namespace {

using conformance::Case;

constexpr unsigned S(Slot slot) {
  return static_cast<unsigned>(slot);
}

Case With(std::vector<std::vector<float>> values) {
  Case c;
  c.values = std::move(values);
  return c;
}

std::vector<float> Identity() {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

std::vector<double> Values(const ExactOutputs& outputs) {
  std::vector<double> values;
  for (const Exact& e : outputs) values.push_back(static_cast<double>(e.value));
  return values;
}

TEST(Exact, TransformCoordDividesByWUnlessWIsWithinTwoToMinus23OfOne) {
  std::vector<float> m = Identity();
  m[15] = 2;  // w = 2: divided
  auto r = ExactOf(S(Slot::KMVec3TransformCoord), With({{}, {1, 2, 3}, m}));
  ASSERT_TRUE(r);
  EXPECT_EQ(Values(*r), (std::vector<double>{0.5, 1, 1.5}));
  m[15] = 1 + 0x1p-23f;  // nearly 1: left undivided
  r = ExactOf(S(Slot::KMVec3TransformCoord), With({{}, {1, 2, 3}, m}));
  EXPECT_EQ(Values(*r), (std::vector<double>{1, 2, 3}));
}

TEST(Exact, NormaliseKeepsANearlyUnitVectorAndHasNoResultForATinyOne) {
  auto r = ExactOf(S(Slot::KMVec3Normalize), With({{}, {3, 4, 0}}));
  ASSERT_TRUE(r);
  EXPECT_DOUBLE_EQ(Values(*r)[0], 0.6);
  // Each component judged on its own size: 2.5 |u_i|.
  EXPECT_NEAR(static_cast<double>((*r)[1].magnitude), 2.5 * 0.8, 1e-12);
  // Squared length 1 + 2^-26: kept as it is, not divided by its length.
  r = ExactOf(S(Slot::KMVec3Normalize), With({{}, {1, 0x1p-13f, 0}}));
  EXPECT_EQ(Values(*r), (std::vector<double>{1, 0x1p-13, 0}));
  EXPECT_FALSE(ExactOf(S(Slot::KMVec3Normalize), With({{}, {1e-20f, 0, 0}})));
}

TEST(Exact, DeterminantMagnitudeSumsTheExpansionsAbsoluteProducts) {
  // [[1, 1], [1, 1]] in the top-left corner of the identity: determinant 0,
  // magnitude 2 (two products of size 1).
  std::vector<float> m = Identity();
  m[1] = 1, m[4] = 1;
  const auto r = ExactOf(S(Slot::KMMatrixDeterminant), With({m}));
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)[0].value, 0);
  EXPECT_EQ((*r)[0].magnitude, 2);
}

TEST(Exact, InverseHasNoResultWhereSinglePrecisionHasNone) {
  std::vector<float> singular = Identity();
  singular[0] = 0;
  EXPECT_FALSE(ExactOf(S(Slot::KMMatrixInverse), With({{}, {}, singular})));
  // A determinant of 1e48 overflows a float: no inverse to compare with.
  std::vector<float> huge = Identity();
  for (int i : {0, 5, 10, 15}) huge[i] = 1e12f;
  EXPECT_FALSE(ExactOf(S(Slot::KMMatrixInverse), With({{}, {}, huge})));
  std::vector<float> scaled = Identity();
  scaled[0] = 4;
  const auto r = ExactOf(S(Slot::KMMatrixInverse), With({{}, {}, scaled}));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->size(), 17u);  // the inverse, then the determinant
  EXPECT_EQ((*r)[0].value, 0.25L);
  EXPECT_EQ((*r)[16].value, 4);
}

TEST(Exact, IntersectionOfAParallelLineHasNoResult) {
  const std::vector<float> plane{0, 0, 1, -1};
  EXPECT_FALSE(ExactOf(S(Slot::KMPlaneIntersectLine), With({{}, plane, {0, 0, 0}, {1, 0, 0}})));
  const auto r = ExactOf(S(Slot::KMPlaneIntersectLine), With({{}, plane, {0, 0, 0}, {0, 0, 4}}));
  ASSERT_TRUE(r);
  EXPECT_EQ(Values(*r), (std::vector<double>{0, 0, 1}));
}

TEST(Exact, SlerpTakesTheShorterArc) {
  // q and -q are one rotation: halfway between q and -q is q itself.
  const std::vector<float> q{0, 0, 0, 1}, minus_q{0, 0, 0, -1};
  const auto r = ExactOf(S(Slot::KMQuaternionSlerp), With({{}, q, minus_q, {0.5f}}));
  ASSERT_TRUE(r);
  EXPECT_NEAR(Values(*r)[3], 1, 1e-15);
  // A quarter turn about z, halfway: an eighth of a turn.
  const float s = static_cast<float>(std::sqrt(0.5));
  const auto half = ExactOf(S(Slot::KMQuaternionSlerp), With({{}, q, {0, 0, s, s}, {0.5f}}));
  EXPECT_NEAR(Values(*half)[2], std::sin(M_PI / 8), 1e-7);
  EXPECT_NEAR(Values(*half)[3], std::cos(M_PI / 8), 1e-7);
}

TEST(Exact, QuaternionFromAHalfTurnTakesTheDiagonalBranch) {
  // diag(1, -1, -1, 1), a half turn about x: trace -1, so (1, 0, 0, 0).
  std::vector<float> m = Identity();
  m[5] = -1, m[10] = -1;
  const auto r = ExactOf(S(Slot::KMQuaternionRotationMatrix), With({{}, m}));
  ASSERT_TRUE(r);
  EXPECT_EQ(Values(*r), (std::vector<double>{1, 0, 0, 0}));
}

TEST(Exact, LogarithmOutsideTheUnitRangeOfWHasNoResult) {
  EXPECT_FALSE(ExactOf(S(Slot::KMQuaternionLn), With({{}, {1, 2, 3, -4}})));
  const auto r = ExactOf(S(Slot::KMQuaternionLn), With({{}, {0, 0, 1, 0}}));
  ASSERT_TRUE(r);
  EXPECT_NEAR(Values(*r)[2], M_PI / 2, 1e-15);
}

TEST(Exact, HalfConversionIsTheDefinitionsBitsOneStepOneUnit) {
  const auto r = ExactOf(S(Slot::KMFloat32To16Array), With({{}, {1.0f, 0x1p-25f, 65504.0f}, {3}}));
  ASSERT_TRUE(r);
  EXPECT_EQ(Values(*r), (std::vector<double>{0x3c00, 0, 0x7bff}));
  // A half one step away reads one unit.
  EXPECT_DOUBLE_EQ(ErrorOf(*r, {0x3c01, 0, 0x7bff}).units, 1);
}

TEST(Exact, ArraysLeaveThePaddingBetweenElementsUncompared) {
  // Two 3-D points with an output stride of 5 floats.
  const auto r = ExactOf(S(Slot::KMVec3TransformNormalArray),
                         With({{}, {5}, {1, 2, 3, 4, 5, 6}, {3}, Identity(), {2}}));
  ASSERT_TRUE(r);
  ASSERT_EQ(r->size(), 8u);
  EXPECT_FALSE((*r)[3].defined);
  EXPECT_FALSE((*r)[4].defined);
  EXPECT_EQ((*r)[5].value, 4);
}

TEST(Exact, SkinningWithOneBoneOfWeightOneIsThatBonesTransform) {
  std::mt19937 random(7);
  Case c = SkinningMeasure().MakeCase(random, Inputs::kWellConditioned);
  // Every vertex on bone 1 alone, whose matrices translate by (1, 2, 3).
  std::vector<float> translate = Identity();
  translate[12] = 1, translate[13] = 2, translate[14] = 3;
  for (std::size_t set : {0, 1}) {
    std::copy(translate.begin(), translate.end(), c.values[set].begin() + 16);
  }
  const auto n = static_cast<std::size_t>(c.values[4][0]);
  c.values[3].clear();
  for (std::size_t v = 0; v < n; ++v) c.values[3].insert(c.values[3].end(), {2.999f, -1});
  const auto r = ExactSkinning(c.values);
  ASSERT_TRUE(r);
  const float weight = static_cast<float>(2.999 - 2);
  for (std::size_t v = 0; v < n; ++v) {
    const float* vertex = &c.values[2][v * 8];
    EXPECT_NEAR(static_cast<double>((*r)[v * 8].value), weight * (vertex[0] + 1.0), 1e-6);
    // Normals are directions: the translation does not move them.
    EXPECT_NEAR(static_cast<double>((*r)[v * 8 + 3].value), weight * vertex[3], 1e-6);
    EXPECT_EQ((*r)[v * 8 + 7].value, vertex[7]);  // copied
  }
}

TEST(Exact, TessellationAtACornerIsThatCorner) {
  std::mt19937 random(3);
  Case c = TessellationMeasure().MakeCase(random, Inputs::kRandom);
  c.values[1] = {0, 1, 0, 0, 1, 0};  // v = 1: corner 0; w = 1: corner 1; u = 1: corner 2
  c.values[5] = {3};
  const auto r = ExactTessellation(c.values);
  ASSERT_TRUE(r);
  for (int corner = 0; corner < 3; ++corner) {
    for (int k = 0; k < 6; ++k) {
      EXPECT_NEAR(static_cast<double>((*r)[corner * 6 + k].value), c.values[2 + corner][k],
                  1e-6 * (1 + std::fabs(c.values[2 + corner][k])));
    }
  }
}

// The well-conditioned cases are what they claim: unit quaternions,
// rotations, parameters in [0, 1].
TEST(WellConditioned, QuaternionsAreUnitAndRotationsOrthonormal) {
  std::mt19937 random(11);
  for (int n = 0; n < 20; ++n) {
    const Case slerp =
        MeasureOf(S(Slot::KMQuaternionSlerp)).MakeCase(random, Inputs::kWellConditioned);
    double length = 0;
    for (float x : slerp.values[1]) length += double{x} * x;
    EXPECT_NEAR(length, 1, 1e-6);
    EXPECT_GE(slerp.values[3][0], 0);
    EXPECT_LE(slerp.values[3][0], 1);
    const Case rotation =
        MeasureOf(S(Slot::KMQuaternionRotationMatrix)).MakeCase(random, Inputs::kWellConditioned);
    const std::vector<float>& m = rotation.values[1];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double dot = 0;
        for (int k = 0; k < 3; ++k) dot += double{m[i * 4 + k]} * m[j * 4 + k];
        EXPECT_NEAR(dot, i == j ? 1 : 0, 1e-6);
      }
    }
  }
}

}  // namespace
}  // namespace kubik::accuracy
