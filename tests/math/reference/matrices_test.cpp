// Matrix operations: products, inverse, rotation and transformation builders,
// shadow and reflection.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"
#include "tests/math/family_test_support.h"

namespace {

// A matrix in double, for expected values.
using Dm = std::array<std::array<double, 4>, 4>;

Dm ToD(const KMMATRIX& m) {
  Dm d;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) d[r][c] = m.m[r][c];
  }
  return d;
}

Dm Mul(const Dm& a, const Dm& b) {
  Dm out{};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      for (int k = 0; k < 4; ++k) out[r][c] += a[r][k] * b[k][c];
    }
  }
  return out;
}

Dm IdentityD() {
  Dm d{};
  for (int i = 0; i < 4; ++i) d[i][i] = 1;
  return d;
}

Dm TranslationD(double x, double y, double z) {
  Dm d = IdentityD();
  d[3][0] = x;
  d[3][1] = y;
  d[3][2] = z;
  return d;
}

Dm ScalingD(double x, double y, double z) {
  Dm d = IdentityD();
  d[0][0] = x;
  d[1][1] = y;
  d[2][2] = z;
  return d;
}

Dm TransposeD(const Dm& m) {
  Dm d;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) d[r][c] = m[c][r];
  }
  return d;
}

// Rotation of a unit quaternion, row-vector convention, in double.
Dm QuaternionD(const KMQUATERNION& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  Dm d = IdentityD();
  d[0] = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y), 0};
  d[1] = {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x), 0};
  d[2] = {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y), 0};
  return d;
}

Dm RotationZD(double a) {
  Dm d = IdentityD();
  d[0][0] = std::cos(a);
  d[0][1] = std::sin(a);
  d[1][0] = -std::sin(a);
  d[1][1] = std::cos(a);
  return d;
}

void ExpectNear(const KMMATRIX& actual, const Dm& expected, double tolerance,
                const char* what = "") {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(actual.m[r][c], expected[r][c], tolerance)
          << what << " element " << r + 1 << c + 1;
    }
  }
}

KMMATRIX Filled(float value) {
  KMMATRIX m;
  for (auto& row : m.m) {
    for (float& v : row) v = value;
  }
  return m;
}

using kubik::testing::Identity;
using kubik::testing::SameBits;

// Equal values (a zero of either sign matches).
bool SameValues(const KMMATRIX& a, const KMMATRIX& b) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (!(a.m[r][c] == b.m[r][c])) return false;
    }
  }
  return true;
}

class Random {
 public:
  explicit Random(unsigned seed) : rng_(seed) {}
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
  KMMATRIX Matrix() {
    KMMATRIX m;
    for (auto& row : m.m) {
      for (float& v : row) v = Uniform(-4, 4);
    }
    return m;
  }
  KMVECTOR3 Vec3() { return KMVECTOR3(Uniform(-3, 3), Uniform(-3, 3), Uniform(-3, 3)); }
  KMVECTOR2 Vec2() { return KMVECTOR2(Uniform(-3, 3), Uniform(-3, 3)); }
  KMQUATERNION UnitQuaternion() {
    double v[4], n = 0;
    for (double& c : v) {
      c = Uniform(-1, 1);
      n += c * c;
    }
    n = std::sqrt(n);
    return KMQUATERNION(static_cast<float>(v[0] / n), static_cast<float>(v[1] / n),
                        static_cast<float>(v[2] / n), static_cast<float>(v[3] / n));
  }

 private:
  std::mt19937 rng_;
};

// ---- Transpose and transposed product ---------------------------------

TEST(MatrixTranspose, SwapsRowsAndColumnsAlsoInPlace) {
  Random random(1);
  for (int trial = 0; trial < 20; ++trial) {
    const KMMATRIX m = random.Matrix();
    KMMATRIX separate;
    EXPECT_EQ(KMMatrixTranspose(&separate, &m), &separate);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) EXPECT_EQ(separate.m[r][c], m.m[c][r]);
    }
    KMMATRIX in_place = m;
    EXPECT_EQ(KMMatrixTranspose(&in_place, &in_place), &in_place);
    EXPECT_TRUE(SameBits(in_place, separate));
  }
}

TEST(MatrixMultiplyTranspose, IsTheTransposedProductForEveryAliasing) {
  Random random(2);
  for (int trial = 0; trial < 20; ++trial) {
    const KMMATRIX a = random.Matrix(), b = random.Matrix();
    KMMATRIX product, expected, out;
    KMMatrixMultiply(&product, &a, &b);
    KMMatrixTranspose(&expected, &product);
    EXPECT_EQ(KMMatrixMultiplyTranspose(&out, &a, &b), &out);
    EXPECT_TRUE(SameBits(out, expected));

    KMMATRIX first = a, second = b, both = a, squared;
    KMMatrixMultiplyTranspose(&first, &first, &b);
    EXPECT_TRUE(SameBits(first, expected));
    KMMatrixMultiplyTranspose(&second, &a, &second);
    EXPECT_TRUE(SameBits(second, expected));
    KMMatrixMultiplyTranspose(&squared, &a, &a);
    KMMatrixMultiplyTranspose(&both, &both, &both);
    EXPECT_TRUE(SameBits(both, squared));
  }
}

// ---- Determinant and inverse ------------------------------------------

double DeterminantD(const Dm& m) {
  // Gaussian elimination with partial pivoting.
  Dm a = m;
  double det = 1;
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) {
      if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
    }
    if (a[pivot][c] == 0) return 0;
    if (pivot != c) {
      std::swap(a[pivot], a[c]);
      det = -det;
    }
    det *= a[c][c];
    for (int r = c + 1; r < 4; ++r) {
      const double f = a[r][c] / a[c][c];
      for (int k = c; k < 4; ++k) a[r][k] -= f * a[c][k];
    }
  }
  return det;
}

TEST(MatrixDeterminant, MatchesEliminationAndKnownValues) {
  const KMMATRIX id = Identity();
  EXPECT_EQ(KMMatrixDeterminant(&id), 1.0f);
  // Upper triangular: the product of the diagonal, whatever is above it.
  const KMMATRIX tri(2, 7, -3, 5, 0, -3, 4, 1, 0, 0, 0.5f, 9, 0, 0, 0, 4);
  EXPECT_EQ(KMMatrixDeterminant(&tri), -12.0f);
  Random random(3);
  for (int trial = 0; trial < 100; ++trial) {
    KMMATRIX m = random.Matrix();
    const double expected = DeterminantD(ToD(m));
    EXPECT_NEAR(KMMatrixDeterminant(&m), expected, 1e-5 * (std::abs(expected) + 64));
    // Swapping two rows negates it.
    std::swap(m.m[1], m.m[3]);
    EXPECT_NEAR(KMMatrixDeterminant(&m), -expected, 1e-5 * (std::abs(expected) + 64));
  }
}

TEST(MatrixInverse, IdentityInvertsToItselfWithDeterminantOne) {
  const KMMATRIX id = Identity();
  KMMATRIX out = Filled(9);
  float det = 0;
  EXPECT_EQ(KMMatrixInverse(&out, &det, &id), &out);
  EXPECT_EQ(det, 1.0f);
  EXPECT_TRUE(SameValues(out, id));
}

TEST(MatrixInverse, ZeroRowFailsAfterStoringTheDeterminantAndLeavesOutputAlone) {
  for (int row = 0; row < 4; ++row) {
    KMMATRIX m = Random(4 + row).Matrix();
    for (float& v : m.m[row]) v = 0;
    EXPECT_EQ(KMMatrixDeterminant(&m), 0.0f);
    const KMMATRIX sentinel = Filled(-5.5f);
    KMMATRIX out = sentinel;
    float det = 123;
    EXPECT_EQ(KMMatrixInverse(&out, &det, &m), nullptr) << row;
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(SameBits(out, sentinel));
    EXPECT_EQ(KMMatrixInverse(&out, nullptr, &m), nullptr);
    EXPECT_TRUE(SameBits(out, sentinel));
  }
}

TEST(MatrixInverse, DeterminantWhoseReciprocalOverflowsFails) {
  const float tiny = 1e-13f;
  const KMMATRIX m(tiny, 0, 0, 0, 0, tiny, 0, 0, 0, 0, tiny, 0, 0, 0, 0, 1);
  const KMMATRIX sentinel = Filled(3);
  KMMATRIX out = sentinel;
  float det = 0;
  EXPECT_EQ(KMMatrixInverse(&out, &det, &m), nullptr);
  EXPECT_NE(det, 0.0f);  // not zero, just too small
  EXPECT_NEAR(det, 1e-39, 1e-41);
  EXPECT_TRUE(SameBits(out, sentinel));
  // In place the input survives too.
  KMMATRIX same = m;
  EXPECT_EQ(KMMatrixInverse(&same, nullptr, &same), nullptr);
  EXPECT_TRUE(SameBits(same, m));
  // A slightly larger diagonal inverts.
  const float small = 1e-12f;
  const KMMATRIX n(small, 0, 0, 0, 0, small, 0, 0, 0, 0, small, 0, 0, 0, 0, 1);
  ASSERT_EQ(KMMatrixInverse(&out, &det, &n), &out);
  EXPECT_NEAR(out._11, 1e12, 1e6);
  EXPECT_NEAR(out._44, 1.0f, 1e-6);
}

TEST(MatrixInverse, NaNDeterminantFails) {
  KMMATRIX m = Identity();
  m._23 = std::numeric_limits<float>::quiet_NaN();
  const KMMATRIX sentinel = Filled(1);
  KMMATRIX out = sentinel;
  float det = 0;
  EXPECT_EQ(KMMatrixInverse(&out, &det, &m), nullptr);
  EXPECT_TRUE(std::isnan(det));
  EXPECT_TRUE(SameBits(out, sentinel));
}

TEST(MatrixInverse, RandomMatricesInvertAlsoInPlace) {
  Random random(5);
  for (int trial = 0; trial < 100; ++trial) {
    const KMMATRIX m = random.Matrix();
    const double expected_det = DeterminantD(ToD(m));
    if (std::abs(expected_det) < 1.0) continue;  // keep the check well conditioned
    KMMATRIX inv;
    float det = 0;
    ASSERT_EQ(KMMatrixInverse(&inv, &det, &m), &inv);
    EXPECT_NEAR(det, expected_det, 1e-5 * (std::abs(expected_det) + 64));
    ExpectNear(inv * m, IdentityD(), 2e-4, "inverse x m");
    ExpectNear(m * inv, IdentityD(), 2e-4, "m x inverse");
    KMMATRIX in_place = m;
    EXPECT_EQ(KMMatrixInverse(&in_place, nullptr, &in_place), &in_place);
    EXPECT_TRUE(SameBits(in_place, inv));
  }
}

// ---- Rotations ----------------------------------------------------------

TEST(MatrixRotationAxes, TurnCounterClockwiseLookingDownTheAxis) {
  const float quarter = static_cast<float>(M_PI / 2);
  KMMATRIX m = Filled(7);
  // Row vector times matrix: row r is the image of the r-th unit vector.
  KMMatrixRotationX(&m, quarter);  // y -> z
  ExpectNear(m, Dm{{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}}}, 1e-7, "X");
  KMMatrixRotationY(&m, quarter);  // z -> x
  ExpectNear(m, Dm{{{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}}}, 1e-7, "Y");
  KMMatrixRotationZ(&m, quarter);  // x -> y
  ExpectNear(m, Dm{{{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}, 1e-7, "Z");
  Random random(6);
  for (int trial = 0; trial < 20; ++trial) {
    const float a = random.Uniform(-7, 7);
    KMMatrixRotationZ(&m, a);
    EXPECT_EQ(m._11, static_cast<float>(std::cos(static_cast<double>(a))));
    EXPECT_EQ(m._12, static_cast<float>(std::sin(static_cast<double>(a))));
    EXPECT_EQ(m._21, -m._12);
  }
}

TEST(MatrixRotationAxis, AnyAxisLengthAndAxisUnchanged) {
  const KMVECTOR3 axis(0, 0, 5);
  KMMATRIX by_axis, by_z;
  EXPECT_EQ(KMMatrixRotationAxis(&by_axis, &axis, 0.7f), &by_axis);
  KMMatrixRotationZ(&by_z, 0.7f);
  ExpectNear(by_axis, ToD(by_z), 1e-7);
  EXPECT_EQ(axis.z, 5.0f);

  Random random(7);
  for (int trial = 0; trial < 50; ++trial) {
    const KMVECTOR3 v = random.Vec3();
    const float angle = random.Uniform(-4, 4);
    KMMATRIX m;
    KMMatrixRotationAxis(&m, &v, angle);
    // Same as the quaternion of that axis and angle.
    const double n = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    const double s = std::sin(angle / 2.0) / n;
    const KMQUATERNION q(static_cast<float>(v.x * s), static_cast<float>(v.y * s),
                         static_cast<float>(v.z * s), static_cast<float>(std::cos(angle / 2.0)));
    ExpectNear(m, QuaternionD(q), 1e-6);
  }
}

TEST(MatrixRotationQuaternion, NonUnitQuaternionsAreUsedAsGiven) {
  KMMATRIX m;
  const KMQUATERNION two_w(0, 0, 0, 2);
  KMMatrixRotationQuaternion(&m, &two_w);
  EXPECT_TRUE(SameBits(m, Identity()));
  const KMQUATERNION two_x(2, 0, 0, 0);
  KMMatrixRotationQuaternion(&m, &two_x);
  EXPECT_EQ(m._11, 1.0f);
  EXPECT_EQ(m._22, -7.0f);
  EXPECT_EQ(m._33, -7.0f);
}

// ---- Transformation builders --------------------------------------------

TEST(MatrixTransformation, NullArgumentsGiveTheIdentity) {
  KMMATRIX m = Filled(4);
  EXPECT_EQ(KMMatrixTransformation(&m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), &m);
  EXPECT_TRUE(SameBits(m, Identity()));
  // Without a scaling its centre and rotation are ignored.
  const KMVECTOR3 centre(1, 2, 3);
  const KMQUATERNION turn(0, 0.6f, 0, 0.8f);
  m = Filled(4);
  KMMatrixTransformation(&m, &centre, &turn, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(SameBits(m, Identity()));
}

TEST(MatrixTransformation, ScalingAboutACentre) {
  const KMVECTOR3 centre(1, 1, 1), scaling(2, 2, 2);
  KMMATRIX m;
  KMMatrixTransformation(&m, &centre, nullptr, &scaling, nullptr, nullptr, nullptr);
  EXPECT_TRUE(SameBits(m, KMMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, -1, -1, -1, 1)));
  // Without a centre it is the plain scaling matrix.
  KMMATRIX plain = Filled(7);
  EXPECT_EQ(KMMatrixScaling(&plain, 2, 2, 2), &plain);
  KMMatrixTransformation(&m, nullptr, nullptr, &scaling, nullptr, nullptr, nullptr);
  EXPECT_TRUE(SameBits(m, plain));
  EXPECT_TRUE(SameBits(plain, KMMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1)));
  const KMVECTOR2 centre2(1, 1), scaling2(2, 2);
  KMMatrixTransformation2D(&m, &centre2, 0, &scaling2, nullptr, 0, nullptr);
  EXPECT_TRUE(SameBits(m, KMMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1)));
}

TEST(MatrixTransformation, EqualsTheProductItStandsFor) {
  Random random(8);
  // Every combination of the six optional arguments, on random values.
  for (unsigned mask = 0; mask < 64; ++mask) {
    for (int trial = 0; trial < 4; ++trial) {
      const KMVECTOR3 sc = random.Vec3(), scaling = random.Vec3(), rc = random.Vec3(),
                      t = random.Vec3();
      const KMQUATERNION srot = random.UnitQuaternion(), rot = random.UnitQuaternion();
      const KMVECTOR3* p_sc = (mask & 1) ? &sc : nullptr;
      const KMQUATERNION* p_srot = (mask & 2) ? &srot : nullptr;
      const KMVECTOR3* p_scaling = (mask & 4) ? &scaling : nullptr;
      const KMVECTOR3* p_rc = (mask & 8) ? &rc : nullptr;
      const KMQUATERNION* p_rot = (mask & 16) ? &rot : nullptr;
      const KMVECTOR3* p_t = (mask & 32) ? &t : nullptr;

      Dm expected = IdentityD();
      if (p_scaling != nullptr) {
        const KMVECTOR3 c = p_sc ? sc : KMVECTOR3(0, 0, 0);
        const Dm rs = p_srot ? QuaternionD(srot) : IdentityD();
        expected = Mul(Mul(Mul(Mul(TranslationD(-c.x, -c.y, -c.z), TransposeD(rs)),
                               ScalingD(scaling.x, scaling.y, scaling.z)),
                           rs),
                       TranslationD(c.x, c.y, c.z));
      }
      if (p_rot != nullptr) {
        const KMVECTOR3 c = p_rc ? rc : KMVECTOR3(0, 0, 0);
        expected = Mul(Mul(Mul(expected, TranslationD(-c.x, -c.y, -c.z)), QuaternionD(rot)),
                       TranslationD(c.x, c.y, c.z));
      }
      if (p_t != nullptr) expected = Mul(expected, TranslationD(t.x, t.y, t.z));

      KMMATRIX m;
      EXPECT_EQ(KMMatrixTransformation(&m, p_sc, p_srot, p_scaling, p_rc, p_rot, p_t), &m);
      ExpectNear(m, expected, 1e-5 * 32, ("mask " + std::to_string(mask)).c_str());
    }
  }
}

// The 2-D product for the given (possibly absent) factors.
Dm Transformation2DD(const KMVECTOR2* sc, float srot, const KMVECTOR2* scaling, const KMVECTOR2* rc,
                     float rot, const KMVECTOR2* t) {
  Dm expected = IdentityD();
  if (scaling != nullptr) {
    const double cx = sc ? sc->x : 0, cy = sc ? sc->y : 0;
    const Dm rs = RotationZD(srot);
    expected = Mul(Mul(Mul(Mul(TranslationD(-cx, -cy, 0), TransposeD(rs)),
                           ScalingD(scaling->x, scaling->y, 1)),
                       rs),
                   TranslationD(cx, cy, 0));
  }
  const double cx = rc ? rc->x : 0, cy = rc ? rc->y : 0;
  expected =
      Mul(Mul(Mul(expected, TranslationD(-cx, -cy, 0)), RotationZD(rot)), TranslationD(cx, cy, 0));
  if (t != nullptr) expected = Mul(expected, TranslationD(t->x, t->y, 0));
  return expected;
}

TEST(MatrixTransformation2D, EqualsTheProductItStandsFor) {
  Random random(9);
  // Four optional pointers, and each angle zero or not.
  for (unsigned mask = 0; mask < 64; ++mask) {
    for (int trial = 0; trial < 4; ++trial) {
      const KMVECTOR2 sc = random.Vec2(), scaling = random.Vec2(), rc = random.Vec2(),
                      t = random.Vec2();
      const float srot = (mask & 2) ? random.Uniform(-4, 4) : 0.0f;
      const float rot = (mask & 16) ? random.Uniform(-4, 4) : 0.0f;
      const KMVECTOR2* p_sc = (mask & 1) ? &sc : nullptr;
      const KMVECTOR2* p_scaling = (mask & 4) ? &scaling : nullptr;
      const KMVECTOR2* p_rc = (mask & 8) ? &rc : nullptr;
      const KMVECTOR2* p_t = (mask & 32) ? &t : nullptr;
      KMMATRIX m;
      EXPECT_EQ(KMMatrixTransformation2D(&m, p_sc, srot, p_scaling, p_rc, rot, p_t), &m);
      ExpectNear(m, Transformation2DD(p_sc, srot, p_scaling, p_rc, rot, p_t), 1e-5 * 32,
                 ("mask " + std::to_string(mask)).c_str());
      EXPECT_EQ(m._43, 0.0f);
    }
  }
}

TEST(MatrixTransformation2D, ZeroAngleSkipsTheRotationAndItsCentre) {
  const KMVECTOR2 scaling(2, 3), centre(5, -7), t(1, 1);
  KMMATRIX with_centre, without;
  KMMatrixTransformation2D(&with_centre, nullptr, 0, &scaling, &centre, 0, &t);
  KMMatrixTransformation2D(&without, nullptr, 0, &scaling, nullptr, 0, &t);
  EXPECT_TRUE(SameBits(with_centre, without));
  KMMatrixAffineTransformation2D(&with_centre, 2, &centre, 0, &t);
  KMMatrixAffineTransformation2D(&without, 2, nullptr, 0, &t);
  EXPECT_TRUE(SameBits(with_centre, without));
  EXPECT_TRUE(SameBits(without, KMMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1)));
  // A NaN angle is not 0: the rotation is applied and poisons the result.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  KMMatrixTransformation2D(&with_centre, nullptr, 0, &scaling, nullptr, nan, nullptr);
  EXPECT_TRUE(std::isnan(with_centre._11));
  KMMatrixTransformation2D(&with_centre, nullptr, nan, &scaling, nullptr, 0, nullptr);
  EXPECT_TRUE(std::isnan(with_centre._11));
  KMMatrixAffineTransformation2D(&with_centre, 1, nullptr, nan, nullptr);
  EXPECT_TRUE(std::isnan(with_centre._11));
}

TEST(MatrixAffineTransformation, EqualsTheProductItStandsFor) {
  Random random(10);
  for (unsigned mask = 0; mask < 8; ++mask) {
    for (int trial = 0; trial < 10; ++trial) {
      const float s = random.Uniform(-3, 3);
      const KMVECTOR3 rc = random.Vec3(), t = random.Vec3();
      const KMQUATERNION rot = random.UnitQuaternion();
      const KMVECTOR3* p_rc = (mask & 1) ? &rc : nullptr;
      const KMQUATERNION* p_rot = (mask & 2) ? &rot : nullptr;
      const KMVECTOR3* p_t = (mask & 4) ? &t : nullptr;
      Dm expected = ScalingD(s, s, s);
      if (p_rot != nullptr) {
        const KMVECTOR3 c = p_rc ? rc : KMVECTOR3(0, 0, 0);
        expected = Mul(Mul(Mul(expected, TranslationD(-c.x, -c.y, -c.z)), QuaternionD(rot)),
                       TranslationD(c.x, c.y, c.z));
      }
      if (p_t != nullptr) expected = Mul(expected, TranslationD(t.x, t.y, t.z));
      KMMATRIX m;
      EXPECT_EQ(KMMatrixAffineTransformation(&m, s, p_rc, p_rot, p_t), &m);
      ExpectNear(m, expected, 1e-5 * 16, ("mask " + std::to_string(mask)).c_str());
    }
  }
}

TEST(MatrixAffineTransformation2D, EqualsTheProductItStandsFor) {
  Random random(11);
  for (unsigned mask = 0; mask < 8; ++mask) {
    for (int trial = 0; trial < 10; ++trial) {
      const float s = random.Uniform(-3, 3);
      const float rot = (mask & 2) ? random.Uniform(-4, 4) : 0.0f;
      const KMVECTOR2 rc = random.Vec2(), t = random.Vec2();
      const KMVECTOR2* p_rc = (mask & 1) ? &rc : nullptr;
      const KMVECTOR2* p_t = (mask & 4) ? &t : nullptr;
      const double cx = p_rc ? rc.x : 0, cy = p_rc ? rc.y : 0;
      Dm expected = Mul(Mul(Mul(ScalingD(s, s, 1), TranslationD(-cx, -cy, 0)), RotationZD(rot)),
                        TranslationD(cx, cy, 0));
      if (p_t != nullptr) expected = Mul(expected, TranslationD(t.x, t.y, 0));
      KMMATRIX m;
      EXPECT_EQ(KMMatrixAffineTransformation2D(&m, s, p_rc, rot, p_t), &m);
      ExpectNear(m, expected, 1e-5 * 16, ("mask " + std::to_string(mask)).c_str());
    }
  }
}

// ---- Shadow and reflection --------------------------------------------

// p (x, y, z, 1) times m, in double.
std::array<double, 4> Apply(const KMVECTOR3& p, const KMMATRIX& m) {
  const double v[4] = {p.x, p.y, p.z, 1};
  std::array<double, 4> out{};
  for (int c = 0; c < 4; ++c) {
    for (int k = 0; k < 4; ++k) out[c] += v[k] * m.m[k][c];
  }
  return out;
}

TEST(MatrixShadow, EveryPointLandsOnThePlane) {
  Random random(12);
  for (int trial = 0; trial < 50; ++trial) {
    const KMPLANE plane(random.Uniform(-2, 2), random.Uniform(-2, 2), random.Uniform(-2, 2),
                        random.Uniform(-2, 2));
    // Point lights and, every other trial, a directional one (w = 0).
    const KMVECTOR4 light(random.Uniform(-5, 5), random.Uniform(-5, 5), random.Uniform(-5, 5),
                          trial % 2 == 0 ? 1.0f : 0.0f);
    KMMATRIX m;
    EXPECT_EQ(KMMatrixShadow(&m, &light, &plane), &m);
    const double n = std::sqrt(double(plane.a) * plane.a + double(plane.b) * plane.b +
                               double(plane.c) * plane.c);
    for (int i = 0; i < 10; ++i) {
      const auto h = Apply(random.Vec3(), m);
      const double on_plane = (plane.a * h[0] + plane.b * h[1] + plane.c * h[2] + plane.d * h[3]);
      const double scale = std::abs(h[0]) + std::abs(h[1]) + std::abs(h[2]) + std::abs(h[3]);
      EXPECT_NEAR(on_plane / n, 0.0, 1e-5 * scale) << trial;
    }
    // The plane is normalised first, so its scale does not matter.
    const KMPLANE scaled(plane.a * 4, plane.b * 4, plane.c * 4, plane.d * 4);
    KMMATRIX from_scaled;
    KMMatrixShadow(&from_scaled, &light, &scaled);
    ExpectNear(from_scaled, ToD(m), 1e-5);
  }
}

TEST(MatrixReflect, NormalisesThePlaneAndMirrors) {
  const KMPLANE y_plane(0, 2, 0, 0);
  KMMATRIX m;
  EXPECT_EQ(KMMatrixReflect(&m, &y_plane), &m);
  EXPECT_TRUE(SameValues(m, KMMATRIX(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)));

  Random random(13);
  for (int trial = 0; trial < 50; ++trial) {
    const KMPLANE plane(random.Uniform(-2, 2), random.Uniform(-2, 2), random.Uniform(-2, 2),
                        random.Uniform(-2, 2));
    KMMATRIX r;
    KMMatrixReflect(&r, &plane);
    // Reflecting twice gives the identity; distances to the plane flip sign.
    ExpectNear(r * r, IdentityD(), 1e-5);
    const double n = std::sqrt(double(plane.a) * plane.a + double(plane.b) * plane.b +
                               double(plane.c) * plane.c);
    const KMVECTOR3 p = random.Vec3();
    const auto h = Apply(p, r);
    const double before = (plane.a * p.x + plane.b * p.y + plane.c * p.z + plane.d) / n;
    const double after = (plane.a * h[0] + plane.b * h[1] + plane.c * h[2] + plane.d) / n;
    EXPECT_NEAR(after, -before, 1e-5);
    EXPECT_EQ(h[3], 1.0);
  }
}

// ---- Composites go through the public entries ---------------------------

struct Calls {
  int multiply = 0, transpose = 0, rotation_quaternion = 0, rotation_z = 0;
  int vec3_normalize = 0, plane_normalize = 0, misaligned_operand = 0;
};
Calls calls;

KMMATRIX* CountMultiply(KMMATRIX* out, const KMMATRIX* a, const KMMATRIX* b) {
  ++calls.multiply;
  if (reinterpret_cast<std::uintptr_t>(b) % 16 != 0) ++calls.misaligned_operand;
  return kubik::reference::KMMatrixMultiply(out, a, b);
}
KMMATRIX* CountTranspose(KMMATRIX* out, const KMMATRIX* m) {
  ++calls.transpose;
  return kubik::reference::KMMatrixTranspose(out, m);
}
KMMATRIX* CountRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  ++calls.rotation_quaternion;
  return kubik::reference::KMMatrixRotationQuaternion(out, q);
}
KMMATRIX* CountRotationZ(KMMATRIX* out, float angle) {
  ++calls.rotation_z;
  return kubik::reference::KMMatrixRotationZ(out, angle);
}
KMVECTOR3* CountVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  ++calls.vec3_normalize;
  return kubik::reference::KMVec3Normalize(out, v);
}
KMPLANE* CountPlaneNormalize(KMPLANE* out, const KMPLANE* p) {
  ++calls.plane_normalize;
  return kubik::reference::KMPlaneNormalize(out, p);
}

class MatrixComposites : public ::testing::Test {
 protected:
  void SetUp() override {
    kubik::ResetSelectionForTesting();
    KMMATRIX bind;
    KMMatrixTranslation(&bind, 0, 0, 0);
    using kubik::Slot;
    auto& table = kubik::ProcessOperationTable();
    table.Set<Slot::KMMatrixMultiply>(&CountMultiply);
    table.Set<Slot::KMMatrixTranspose>(&CountTranspose);
    table.Set<Slot::KMMatrixRotationQuaternion>(&CountRotationQuaternion);
    table.Set<Slot::KMMatrixRotationZ>(&CountRotationZ);
    table.Set<Slot::KMVec3Normalize>(&CountVec3Normalize);
    table.Set<Slot::KMPlaneNormalize>(&CountPlaneNormalize);
    calls = Calls{};
  }
  void TearDown() override { kubik::ResetSelectionForTesting(); }
};

TEST_F(MatrixComposites, CallTheInstalledImplementations) {
  const KMVECTOR3 v(1, 2, 3);
  const KMQUATERNION q(0, 0.6f, 0, 0.8f);
  const KMVECTOR2 v2(1, 2);
  const KMVECTOR4 light(1, 5, 1, 1);
  const KMPLANE plane(0, 1, 0, 0);
  KMMATRIX m;

  KMMatrixTransformation(&m, &v, &q, &v, &v, &q, &v);
  EXPECT_EQ(calls.rotation_quaternion, 2);
  EXPECT_EQ(calls.transpose, 1);
  EXPECT_EQ(calls.multiply, 4);

  calls = Calls{};
  KMMatrixTransformation2D(&m, &v2, 0.5f, &v2, &v2, 0.25f, &v2);
  EXPECT_EQ(calls.rotation_z, 2);
  EXPECT_EQ(calls.transpose, 1);
  EXPECT_EQ(calls.multiply, 4);

  calls = Calls{};
  KMMatrixAffineTransformation(&m, 2, &v, &q, &v);
  KMMatrixAffineTransformation2D(&m, 2, &v2, 0.5f, &v2);
  EXPECT_EQ(calls.rotation_quaternion, 1);
  EXPECT_EQ(calls.rotation_z, 1);
  EXPECT_EQ(calls.multiply, 2);
  // Every temporary handed to the installed product is 16-byte aligned.
  EXPECT_EQ(calls.misaligned_operand, 0);

  calls = Calls{};
  KMMatrixRotationAxis(&m, &v, 1);
  EXPECT_EQ(calls.vec3_normalize, 1);
  KMMatrixShadow(&m, &light, &plane);
  KMMatrixReflect(&m, &plane);
  EXPECT_EQ(calls.plane_normalize, 2);
}

}  // namespace
