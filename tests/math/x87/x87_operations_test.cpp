// The x87-tuned operations: summation order, alias-aware loop orders and the
// slots the installer fills.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"
#include "math/simd/x87/family.h"
#include "tests/math/family_test_support.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

using kubik::testing::Identity;
using kubik::testing::RandomMatrix;
using kubik::testing::SameBits;

TEST(X87MatrixMultiply, AgreesWithReferenceWithinOneUlp) {
  std::mt19937 random(3);
  for (int n = 0; n < 200; ++n) {
    const KMMATRIX a = RandomMatrix(random, 8), b = RandomMatrix(random, 8);
    KMMATRIX tuned, reference;
    EXPECT_EQ(kubik::x87::KMMatrixMultiply(&tuned, &a, &b), &tuned);
    kubik::reference::KMMatrixMultiply(&reference, &a, &b);
    for (int i = 0; i < 16; ++i) {
      const float t = (&tuned._11)[i], r = (&reference._11)[i];
      EXPECT_LE(std::fabs(t - r), std::fabs(std::nextafter(r, 2 * r + 1) - r)) << n << " " << i;
    }
  }
}

// Products 1 and 3 are added first: 2^60 and -2^60 cancel exactly and the
// small products survive, where a left-to-right sum would lose the 1.
TEST(X87MatrixMultiply, PairsProductsOneAndThree) {
  KMMATRIX a{}, b{};
  a._11 = 0x1p30f, a._12 = 1.0f, a._13 = -0x1p30f, a._14 = 0x1p-35f;
  b._11 = 0x1p30f, b._21 = 1.0f, b._31 = 0x1p30f, b._41 = 0x1p-35f;
  KMMATRIX out;
  kubik::x87::KMMatrixMultiply(&out, &a, &b);
  EXPECT_EQ(out._11, 1.0f);
}

TEST(X87MatrixMultiplyTranspose, IsTheTunedProductTransposedForEveryAliasing) {
  std::mt19937 random(9);
  for (int n = 0; n < 50; ++n) {
    const KMMATRIX a = RandomMatrix(random, 8), b = RandomMatrix(random, 8);
    KMMATRIX product, transposed;
    kubik::x87::KMMatrixMultiply(&product, &a, &b);
    EXPECT_EQ(kubik::x87::KMMatrixMultiplyTranspose(&transposed, &a, &b), &transposed);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) ASSERT_EQ(transposed.m[j][i], product.m[i][j]);
    }

    KMMATRIX out_is_m1 = a, out_is_m2 = b, both = a, square_transposed;
    kubik::x87::KMMatrixMultiplyTranspose(&out_is_m1, &out_is_m1, &b);
    kubik::x87::KMMatrixMultiplyTranspose(&out_is_m2, &a, &out_is_m2);
    EXPECT_TRUE(SameBits(out_is_m1, transposed));
    EXPECT_TRUE(SameBits(out_is_m2, transposed));
    kubik::x87::KMMatrixMultiplyTranspose(&square_transposed, &a, &a);
    kubik::x87::KMMatrixMultiplyTranspose(&both, &both, &both);
    EXPECT_TRUE(SameBits(both, square_transposed));
  }
}

// ---- Transforms ------------------------------------------------------------------

// Left to right at 64 bits: 2^70 + 1 loses the 1 before -2^70 cancels it,
// so the first column sums to 0 + 0.5, not to the exact 1.5.
TEST(X87Transforms, SumLeftToRight) {
  KMMATRIX m = Identity();
  m._11 = 0x1p35f, m._21 = 1.0f, m._31 = -0x1p35f, m._41 = 0.5f, m._12 = 0.0f;
  const KMVECTOR3 v(0x1p35f, 1.0f, 0x1p35f);
  KMVECTOR4 out;
  EXPECT_EQ(kubik::x87::KMVec3Transform(&out, &v, &m), &out);
  EXPECT_EQ(out.x, 0.5f);
  const KMVECTOR4 v4(0x1p35f, 1.0f, 0x1p35f, 1.0f);
  kubik::x87::KMVec4Transform(&out, &v4, &m);
  EXPECT_EQ(out.x, 0.5f);
  // Without the point's fourth row the sum is just 0.
  KMVECTOR3 direction;
  kubik::x87::KMVec3TransformNormal(&direction, &v, &m);
  EXPECT_EQ(direction.x, 0.0f);
}

TEST(X87Transforms, TakeTheDocumentedRows) {
  KMMATRIX m;
  for (int i = 0; i < 16; ++i) (&m._11)[i] = static_cast<float>(i + 1);
  const KMVECTOR2 v2(2, 3);
  KMVECTOR4 out4;
  kubik::x87::KMVec2Transform(&out4, &v2, &m);  // (2, 3, 0, 1)
  EXPECT_EQ(out4.x, 2 * 1 + 3 * 5 + 13);
  EXPECT_EQ(out4.w, 2 * 4 + 3 * 8 + 16);
  KMVECTOR2 out2;
  kubik::x87::KMVec2TransformNormal(&out2, &v2, &m);  // (2, 3, 0, 0)
  EXPECT_EQ(out2.x, 2 * 1 + 3 * 5);
  EXPECT_EQ(out2.y, 2 * 2 + 3 * 6);
  const KMVECTOR3 v3(2, 3, 4);
  kubik::x87::KMVec3Transform(&out4, &v3, &m);  // (2, 3, 4, 1)
  EXPECT_EQ(out4.z, 2 * 3 + 3 * 7 + 4 * 11 + 15);
  KMVECTOR3 out3;
  kubik::x87::KMVec3TransformNormal(&out3, &v3, &m);  // (2, 3, 4, 0)
  EXPECT_EQ(out3.z, 2 * 3 + 3 * 7 + 4 * 11);
}

// Slot 34 transforms the plane exactly as slot 2 transforms a 4-vector.
TEST(X87Transforms, PlaneTransformIsTheFourVectorTransform) {
  std::mt19937 random(19);
  OperationTable table;
  table.CopyFrom(kubik::ReferenceTable());
  kubik::x87::Install(table);
  for (int n = 0; n < 100; ++n) {
    const KMMATRIX m = RandomMatrix(random, 8);
    const KMMATRIX p = RandomMatrix(random, 8);
    const KMPLANE plane(p._11, p._12, p._13, p._14);
    const KMVECTOR4 as_vector(p._11, p._12, p._13, p._14);
    KMPLANE transformed_plane;
    KMVECTOR4 transformed_vector;
    table.Get<Slot::KMPlaneTransform>()(&transformed_plane, &plane, &m);
    table.Get<Slot::KMVec4Transform>()(&transformed_vector, &as_vector, &m);
    ASSERT_EQ(std::memcmp(&transformed_plane, &transformed_vector, sizeof plane), 0);
  }
}

// ---- The tuned normalise -------------------------------------------------------

KMVECTOR3 TunedNormalize(KMVECTOR3 v) {
  KMVECTOR3 out(-7, -7, -7);
  EXPECT_EQ(kubik::x87::KMVec3Normalize(&out, &v), &out);
  return out;
}

KMVECTOR3 ReferenceNormalize(KMVECTOR3 v) {
  KMVECTOR3 out;
  kubik::reference::KMVec3Normalize(&out, &v);
  return out;
}

TEST(X87Vec3Normalize, ZeroVectorGivesZero) {
  const KMVECTOR3 out = TunedNormalize(KMVECTOR3(0, 0, 0));
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.z, 0.0f);
  // Squares that underflow to zero in float count as zero too.
  const KMVECTOR3 underflow = TunedNormalize(KMVECTOR3(1e-30f, 0, 0));
  EXPECT_EQ(underflow.x, 0.0f);
}

// Difference 1: the table's reciprocal square root, not a true one.
TEST(X87Vec3Normalize, CarriesTheTableError) {
  const KMVECTOR3 out = TunedNormalize(KMVECTOR3(3, 4, 0));
  EXPECT_NEAR(out.x, 0.6f, 0.6 * 1.5e-6);
  EXPECT_NEAR(out.y, 0.8f, 0.8 * 1.5e-6);
  EXPECT_EQ(out.z, 0.0f);
  // Exactly the lookup of the squared length, not 1/sqrt(25) = 0.2.
  const double k = static_cast<double>(kubik::x87::ReciprocalSqrtLookup(0x41c80000u));  // 25
  EXPECT_NE(k, 0.2);
  EXPECT_EQ(out.x, static_cast<float>(3 * k));

  // A squared length of about 2.004 falls mid-way along the first segment,
  // where the chord is farthest from the curve: the true root differs.
  const KMVECTOR3 mid(1.4156f, 0, 0);
  const KMVECTOR3 tuned = TunedNormalize(mid);
  const KMVECTOR3 exact = ReferenceNormalize(mid);
  EXPECT_GT(std::fabs(tuned.x - exact.x), 1e-6);
  EXPECT_NEAR(tuned.x, exact.x, exact.x * 1.5e-6);
}

// Difference 2: within 1e-5 of unit squared length the input comes back as
// it is, where the reference (tolerance 2^-23) normalises it.
TEST(X87Vec3Normalize, ReturnsNearUnitInputUnchanged) {
  const KMVECTOR3 v(1.000004f, 0, 0);
  const KMVECTOR3 out = TunedNormalize(v);
  EXPECT_EQ(out.x, v.x);
  EXPECT_EQ(ReferenceNormalize(v).x, 1.0f);

  // In place: still unchanged.
  KMVECTOR3 in_place = v;
  kubik::x87::KMVec3Normalize(&in_place, &in_place);
  EXPECT_EQ(in_place.x, v.x);

  // Just outside the slack it is normalised.
  const KMVECTOR3 outside = TunedNormalize(KMVECTOR3(1.00001f, 0, 0));
  EXPECT_NE(outside.x, 1.00001f);
  EXPECT_NEAR(outside.x, 1.0f, 1.5e-6);
}

// Difference 3: a squared length below the smallest normal float goes
// through the table, where the reference gives the zero vector.
TEST(X87Vec3Normalize, NormalisesSubnormalSquaredLengthsByTheTable) {
  const KMVECTOR3 v(1e-20f, 0, 0);
  const float length_sq = static_cast<float>(static_cast<kubik::x87::Working>(v.x) * v.x);
  ASSERT_GT(length_sq, 0.0f);
  ASSERT_LT(length_sq, 1.1754944e-38f);
  const KMVECTOR3 out = TunedNormalize(v);
  const kubik::x87::Working k =
      kubik::x87::ReciprocalSqrtLookup(std::bit_cast<std::uint32_t>(length_sq));
  EXPECT_EQ(out.x, static_cast<float>(v.x * k));
  EXPECT_NE(out.x, 0.0f);
  EXPECT_EQ(ReferenceNormalize(v).x, 0.0f);
}

}  // namespace
