// The four matrix operations the viewer uses, and the reference tolerance test.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "math/types/float_compare.h"
#include "tests/math/family_test_support.h"

namespace {

constexpr float kPiOver4 = std::bit_cast<float>(0x3F490FDBu);
constexpr float kFourThirds = std::bit_cast<float>(0x3FAAAAABu);

using kubik::testing::Identity;
using kubik::testing::RandomMatrix;
using kubik::testing::SameBits;

void ExpectNear(const KMMATRIX& actual, const double expected[4][4], double tolerance) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(actual.m[r][c], expected[r][c], tolerance) << "element " << r + 1 << c + 1;
    }
  }
}

// Row-vector rotation matrices written out in double.
void Product(double out[4][4], const double a[4][4], const double b[4][4]) {
  double t[4][4];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      t[r][c] = 0;
      for (int k = 0; k < 4; ++k) t[r][c] += a[r][k] * b[k][c];
    }
  }
  std::memcpy(out, t, sizeof t);
}

void RotationX(double m[4][4], double a) {
  const double c = std::cos(a), s = std::sin(a);
  const double v[4][4] = {{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}};
  std::memcpy(m, v, sizeof v);
}
void RotationY(double m[4][4], double a) {
  const double c = std::cos(a), s = std::sin(a);
  const double v[4][4] = {{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}};
  std::memcpy(m, v, sizeof v);
}
void RotationZ(double m[4][4], double a) {
  const double c = std::cos(a), s = std::sin(a);
  const double v[4][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  std::memcpy(m, v, sizeof v);
}

TEST(MatrixMultiply, AliasedOutputGivesTheSameProduct) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const KMMATRIX a = RandomMatrix(rng, 10), b = RandomMatrix(rng, 10);
    KMMATRIX separate;
    KMMatrixMultiply(&separate, &a, &b);

    KMMATRIX first = a;
    EXPECT_EQ(KMMatrixMultiply(&first, &first, &b), &first);
    EXPECT_TRUE(SameBits(first, separate));

    KMMATRIX second = b;
    KMMatrixMultiply(&second, &a, &second);
    EXPECT_TRUE(SameBits(second, separate));

    KMMATRIX both = a, squared;
    KMMatrixMultiply(&squared, &a, &a);
    KMMatrixMultiply(&both, &both, &both);
    EXPECT_TRUE(SameBits(both, squared));
  }
}

TEST(MatrixMultiply, RowTimesColumnInArgumentOrder) {
  // Translation then scale differs from scale then translation: catches a
  // swapped product order.
  KMMATRIX t, s = KMMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1), ts;
  KMMatrixTranslation(&t, 1, 2, 3);
  KMMatrixMultiply(&ts, &t, &s);
  EXPECT_EQ(ts._41, 2.0f);
  EXPECT_EQ(ts._42, 4.0f);
  EXPECT_EQ(ts._43, 6.0f);
  const KMMATRIX st = s * t;
  EXPECT_EQ(st._41, 1.0f);
  EXPECT_EQ(st._11, 2.0f);
}

TEST(MatrixMultiply, IdentityOnEitherSideKeepsTheOperand) {
  std::mt19937 rng(11);
  const KMMATRIX id = Identity();
  for (int trial = 0; trial < 20; ++trial) {
    const KMMATRIX a = RandomMatrix(rng, 10);
    EXPECT_TRUE(SameBits(a * id, a));
    EXPECT_TRUE(SameBits(id * a, a));
  }
}

TEST(MatrixMultiply, ProductIsRoundedOnceFromExactSums) {
  // 1 + 2^-24 + 2^-24: rounding after each sum would lose both halves.
  const float tiny = std::ldexp(1.0f, -24);
  KMMATRIX a = Identity(), b = Identity();
  a._11 = 1.0f;
  a._12 = 1.0f;
  a._13 = 1.0f;
  b._11 = 1.0f;
  b._21 = tiny;
  b._31 = tiny;
  KMMATRIX out;
  KMMatrixMultiply(&out, &a, &b);
  EXPECT_EQ(out._11, 1.0f + 2 * tiny);
}

TEST(MatrixTranslation, MovesPointsAndCopiesArgumentsBitForBit) {
  KMMATRIX t;
  EXPECT_EQ(KMMatrixTranslation(&t, 0, 0, 5), &t);
  const float points[][3] = {{0, 0, 0}, {1, -2, 3}, {-7.5f, 4, -5}};
  for (const auto& p : points) {
    double out[4] = {0, 0, 0, 0};
    const double v[4] = {p[0], p[1], p[2], 1};
    for (int c = 0; c < 4; ++c) {
      for (int k = 0; k < 4; ++k) out[c] += v[k] * t.m[k][c];
    }
    EXPECT_EQ(out[0], p[0]);
    EXPECT_EQ(out[1], p[1]);
    EXPECT_EQ(out[2], p[2] + 5.0);
    EXPECT_EQ(out[3], 1.0);
  }
  const float nan = std::bit_cast<float>(0x7FC01234u);
  KMMatrixTranslation(&t, -0.0f, nan, 3);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(t._41), 0x80000000u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(t._42), 0x7FC01234u);
  t._41 = 0;
  t._42 = 0;
  t._43 = 0;
  EXPECT_TRUE(SameBits(t, Identity()));
}

TEST(MatrixRotationYawPitchRoll, ZeroAnglesAndQuarterYaw) {
  KMMATRIX r;
  EXPECT_EQ(KMMatrixRotationYawPitchRoll(&r, 0, 0, 0), &r);
  EXPECT_TRUE(SameBits(r, Identity()));

  KMMatrixRotationYawPitchRoll(&r, std::bit_cast<float>(0x3FC90FDBu), 0, 0);  // pi/2
  // Row (1, 0, 0) maps to row 1 of the matrix, (0, 0, 1) to row 3.
  EXPECT_NEAR(r._11, 0, 1e-7);
  EXPECT_NEAR(r._12, 0, 1e-7);
  EXPECT_NEAR(r._13, -1, 1e-7);
  EXPECT_NEAR(r._31, 1, 1e-7);
  EXPECT_NEAR(r._32, 0, 1e-7);
  EXPECT_NEAR(r._33, 0, 1e-7);
}

TEST(MatrixRotationYawPitchRoll, EqualsRollThenPitchThenYaw) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> angle(-7.0f, 7.0f);
  for (int trial = 0; trial < 200; ++trial) {
    const float yaw = angle(rng), pitch = angle(rng), roll = angle(rng);
    KMMATRIX r;
    KMMatrixRotationYawPitchRoll(&r, yaw, pitch, roll);
    double x[4][4], y[4][4], z[4][4], expected[4][4];
    RotationX(x, pitch);
    RotationY(y, yaw);
    RotationZ(z, roll);
    Product(expected, z, x);
    Product(expected, expected, y);
    ExpectNear(r, expected, 4e-7);
  }
}

TEST(QuaternionRotationYawPitchRoll, IsAUnitQuaternionOfTheHalfAngles) {
  KMQUATERNION q;
  EXPECT_EQ(KMQuaternionRotationYawPitchRoll(&q, 0, 0, 0), &q);
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);
  EXPECT_EQ(q.w, 1.0f);
  KMQuaternionRotationYawPitchRoll(&q, 1.0f, 0, 0);  // yaw alone: about y
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_FLOAT_EQ(q.y, static_cast<float>(std::sin(0.5)));
  EXPECT_EQ(q.z, 0.0f);
  EXPECT_FLOAT_EQ(q.w, static_cast<float>(std::cos(0.5)));
}

TEST(MatrixRotationQuaternion, UsesTheQuaternionUnnormalised) {
  const KMQUATERNION q(0, 0, 0, 2);  // not unit: scale terms stay 1 - 2(...)
  KMMATRIX m;
  KMMatrixRotationQuaternion(&m, &q);
  EXPECT_TRUE(SameBits(m, Identity()));
  const KMQUATERNION q2(1, 0, 0, 0);
  KMMatrixRotationQuaternion(&m, &q2);
  EXPECT_EQ(m._22, -1.0f);
  EXPECT_EQ(m._33, -1.0f);
  EXPECT_EQ(m._11, 1.0f);
}

TEST(MatrixPerspectiveFovLH, ViewerProjectionValues) {
  KMMATRIX p;
  EXPECT_EQ(KMMatrixPerspectiveFovLH(&p, kPiOver4, kFourThirds, 0.1f, 100.0f), &p);
  EXPECT_NEAR(p._22, 2.4142134, 2e-7);
  EXPECT_NEAR(p._11, 1.8106600, 2e-7);
  EXPECT_NEAR(p._33, 1.0010010, 2e-7);
  EXPECT_NEAR(p._43, -0.10010010, 2e-8);
  EXPECT_EQ(p._34, 1.0f);
  EXPECT_EQ(p._44, 0.0f);
  const float zeros[] = {p._12, p._13, p._14, p._21, p._23, p._24, p._31, p._32, p._41, p._42};
  for (float z : zeros) EXPECT_EQ(z, 0.0f);
  // Depth: zn maps to 0 and zf to 1 after the divide by w = z.
  EXPECT_NEAR((0.1 * p._33 + p._43) / 0.1, 0.0, 1e-6);
  EXPECT_NEAR((100.0 * p._33 + p._43) / 100.0, 1.0, 1e-6);
}

TEST(MatrixPerspectiveFovLH, EqualPlanesGiveNonFiniteDepthWithoutError) {
  KMMATRIX p;
  KMMatrixPerspectiveFovLH(&p, kPiOver4, kFourThirds, 5.0f, 5.0f);
  EXPECT_FALSE(std::isfinite(p._33));
  EXPECT_FALSE(std::isfinite(p._43));
  EXPECT_TRUE(std::isfinite(p._22));
}

TEST(FloatNearlyEqual, BoundsAreInclusiveAndNaNNeverMatches) {
  using kubik::FloatNearlyEqual;
  const float eps = std::ldexp(1.0f, -23);
  EXPECT_EQ(FloatNearlyEqual(1.0f, 1.0f + eps), 1);
  EXPECT_EQ(FloatNearlyEqual(1.0f + eps, 1.0f), 1);
  EXPECT_EQ(FloatNearlyEqual(1.0f, 1.0f + 2 * eps), 0);
  EXPECT_EQ(FloatNearlyEqual(1.0f, 1.0f - eps), 1);
  // A difference just over 2^-23 that float subtraction would round down to it.
  EXPECT_EQ(FloatNearlyEqual(eps, -std::ldexp(1.0f, -60)), 0);
  EXPECT_EQ(FloatNearlyEqual(eps, 0.0f), 1);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(FloatNearlyEqual(nan, nan), 0);
  EXPECT_EQ(FloatNearlyEqual(nan, 1.0f), 0);
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(FloatNearlyEqual(inf, inf), 0);
}

}  // namespace
