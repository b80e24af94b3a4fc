// Quaternion operations: conversions, product, normalise and inverse,
// ln/exp, the slerp family and the type's operators.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"
#include "tests/math/family_test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

using kubik::testing::SameBits;

::testing::AssertionResult Near(const KMQUATERNION& a, const KMQUATERNION& b, double tolerance) {
  const double d[4] = {a.x - double(b.x), a.y - double(b.y), a.z - double(b.z), a.w - double(b.w)};
  for (double v : d) {
    if (!(std::abs(v) <= tolerance)) {
      return ::testing::AssertionFailure()
             << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x << ", "
             << b.y << ", " << b.z << ", " << b.w << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

// Equal up to the sign: both stand for the same rotation.
::testing::AssertionResult SameRotation(const KMQUATERNION& a, const KMQUATERNION& b,
                                        double tolerance) {
  if (Near(a, b, tolerance)) return ::testing::AssertionSuccess();
  return Near(a, -b, tolerance);
}

// The unit quaternion of a rotation by angle about a unit axis.
KMQUATERNION AxisAngle(double x, double y, double z, double angle) {
  const double s = std::sin(angle / 2);
  return KMQUATERNION(static_cast<float>(x * s), static_cast<float>(y * s),
                      static_cast<float>(z * s), static_cast<float>(std::cos(angle / 2)));
}

class Random {
 public:
  explicit Random(unsigned seed) : rng_(seed) {}
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
  KMQUATERNION Unit() {
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

// ---- Product and operators ----------------------------------------------

TEST(QuaternionMultiply, FirstArgumentIsAppliedFirst) {
  const KMQUATERNION i(1, 0, 0, 0), j(0, 1, 0, 0);
  KMQUATERNION out;
  EXPECT_EQ(KMQuaternionMultiply(&out, &i, &j), &out);
  EXPECT_TRUE(SameBits(out, KMQUATERNION(0, 0, -1, 0)));  // j * i in Hamilton order
  EXPECT_TRUE(SameBits(i * j, KMQUATERNION(0, 0, -1, 0)));

  // The same composition order as the matrix product.
  Random random(1);
  for (int trial = 0; trial < 50; ++trial) {
    const KMQUATERNION a = random.Unit(), b = random.Unit();
    KMQUATERNION ab;
    KMQuaternionMultiply(&ab, &a, &b);
    KMMATRIX ma, mb, mab;
    KMMatrixRotationQuaternion(&ma, &a);
    KMMatrixRotationQuaternion(&mb, &b);
    KMMatrixRotationQuaternion(&mab, &ab);
    const KMMATRIX product = ma * mb;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(mab.m[r][c], product.m[r][c], 1e-6);
    }
    // Output may be either input.
    KMQUATERNION first = a, second = b;
    KMQuaternionMultiply(&first, &first, &b);
    KMQuaternionMultiply(&second, &a, &second);
    EXPECT_TRUE(SameBits(first, ab));
    EXPECT_TRUE(SameBits(second, ab));
  }
}

TEST(QuaternionOperators, ComponentwiseArithmeticAndCompanions) {
  const KMQUATERNION q(1, -2, 3, 4), p(0.5f, 0.25f, -1, 2);
  EXPECT_TRUE(SameBits(-q, KMQUATERNION(-1, 2, -3, -4)));
  EXPECT_TRUE(SameBits(q + p, KMQUATERNION(1.5f, -1.75f, 2, 6)));
  EXPECT_TRUE(SameBits(q - p, KMQUATERNION(0.5f, -2.25f, 4, 2)));
  EXPECT_TRUE(SameBits(q * 2.0f, KMQUATERNION(2, -4, 6, 8)));
  // Division multiplies by one reciprocal.
  const float r = 1.0f / 3.0f;
  const KMQUATERNION by_reciprocal(q.x * r, q.y * r, q.z * r, q.w * r);
  EXPECT_TRUE(SameBits(q / 3.0f, by_reciprocal));
  KMQUATERNION divided = q;
  EXPECT_EQ(&(divided /= 3.0f), &divided);
  EXPECT_TRUE(SameBits(divided, by_reciprocal));

  EXPECT_EQ(KMQuaternionDot(&q, &p), 0.5f - 0.5f - 3 + 8);
  EXPECT_EQ(KMQuaternionLengthSq(&q), 30.0f);
  KMQUATERNION conjugate;
  EXPECT_EQ(KMQuaternionConjugate(&conjugate, &q), &conjugate);
  EXPECT_TRUE(SameBits(conjugate, KMQUATERNION(-1, 2, -3, 4)));
}

// ---- From a matrix --------------------------------------------------------

KMMATRIX Upper(float m11, float m12, float m13, float m21, float m22, float m23, float m31,
               float m32, float m33) {
  return KMMATRIX(m11, m12, m13, 0, m21, m22, m23, 0, m31, m32, m33, 0, 0, 0, 0, 1);
}

TEST(QuaternionRotationMatrix, KnownRotations) {
  KMQUATERNION q;
  const KMMATRIX id = Upper(1, 0, 0, 0, 1, 0, 0, 0, 1);
  EXPECT_EQ(KMQuaternionRotationMatrix(&q, &id), &q);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 1)));
  // Half turns (trace -1) take the diagonal branch, one per axis.
  const KMMATRIX half_x = Upper(1, 0, 0, 0, -1, 0, 0, 0, -1);
  KMQuaternionRotationMatrix(&q, &half_x);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(1, 0, 0, 0)));
  const KMMATRIX half_y = Upper(-1, 0, 0, 0, 1, 0, 0, 0, -1);
  KMQuaternionRotationMatrix(&q, &half_y);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 1, 0, 0)));
  const KMMATRIX half_z = Upper(-1, 0, 0, 0, -1, 0, 0, 0, 1);
  KMQuaternionRotationMatrix(&q, &half_z);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 1, 0)));
}

TEST(QuaternionRotationMatrix, TiesKeepTheLowerIndex) {
  // Matrices chosen so that each candidate index gives a different result:
  // the off-diagonal pairs are asymmetric.
  KMQUATERNION q;
  // d0 == d1 == 1 > d2: index 0 (x = s = sqrt(2)/2), w from _23 - _32.
  const KMMATRIX tie01 = Upper(0, 0, 0, 0, 0, 0.5f, 0, 0.1f, -1);
  KMQuaternionRotationMatrix(&q, &tie01);
  const double s = std::sqrt(2.0) / 2, f = 0.25 / s;
  EXPECT_TRUE(Near(q, KMQUATERNION(float(s), 0, 0, float(0.4 * f)), 1e-7));
  // d1 == d2 == 1 > d0: index 1 (y = s), w from _31 - _13.
  const KMMATRIX tie12 = Upper(-1, 0, 0.1f, 0, 0, 0, 0.5f, 0, 0);
  KMQuaternionRotationMatrix(&q, &tie12);
  EXPECT_TRUE(Near(q, KMQUATERNION(0, float(s), 0, float(0.4 * f)), 1e-7));
  // d0 == d2 == 1 > d1: index 0 again, z from _13 + _31.
  const KMMATRIX tie02 = Upper(0, 0, 0.5f, 0, -1, 0, 0.1f, 0, 0);
  KMQuaternionRotationMatrix(&q, &tie02);
  EXPECT_TRUE(Near(q, KMQUATERNION(float(s), 0, float(0.6 * f), 0), 1e-7));
}

TEST(QuaternionRotationMatrix, TraceOfExactlyZeroTakesTheDiagonalBranch) {
  // diag(1, -0.5, -0.5): the trace branch would give w = 0.5.
  const KMMATRIX m = Upper(1, 0, 0, 0, -0.5f, 0, 0, 0, -0.5f);
  KMQUATERNION q;
  KMQuaternionRotationMatrix(&q, &m);
  EXPECT_FLOAT_EQ(q.x, static_cast<float>(std::sqrt(3.0) / 2));
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);
  EXPECT_EQ(q.w, 0.0f);
  // A third of a turn about (1, 1, 1) has trace 0 and comes back right.
  const KMMATRIX cycle = Upper(0, 1, 0, 0, 0, 1, 1, 0, 0);
  KMQuaternionRotationMatrix(&q, &cycle);
  EXPECT_TRUE(Near(q, KMQUATERNION(0.5f, 0.5f, 0.5f, 0.5f), 1e-7));
}

TEST(QuaternionRotationMatrix, RoundTripsThroughTheMatrixOnEveryBranch) {
  Random random(2);
  int branch_hits[4] = {};
  for (int trial = 0; trial < 400; ++trial) {
    const KMQUATERNION q = random.Unit();
    KMMATRIX m;
    KMMatrixRotationQuaternion(&m, &q);
    KMQUATERNION back;
    KMQuaternionRotationMatrix(&back, &m);
    EXPECT_TRUE(SameRotation(back, q, 2e-6)) << trial;
    const double trace = double(m._11) + m._22 + m._33;
    if (trace > 0) {
      ++branch_hits[3];
      EXPECT_GT(back.w, 0.0f);
    } else {
      const double d[3] = {double(m._11) - m._22 - m._33, double(m._22) - m._11 - m._33,
                           m._33 - (double(m._11) + m._22)};
      int i = d[0] < d[1] ? 1 : 0;
      if (d[i] < d[2]) i = 2;
      ++branch_hits[i];
    }
  }
  for (int hits : branch_hits) EXPECT_GT(hits, 10);
}

// ---- From an axis and an angle; from yaw, pitch, roll ---------------------

TEST(QuaternionRotationAxis, AxisLengthDoesNotMatterAndAxisIsKept) {
  const KMVECTOR3 axis(0, 0, 3);
  KMQUATERNION q;
  EXPECT_EQ(KMQuaternionRotationAxis(&q, &axis, static_cast<float>(kPi / 2)), &q);
  EXPECT_TRUE(
      Near(q, KMQUATERNION(0, 0, float(std::sin(kPi / 4)), float(std::cos(kPi / 4))), 1e-7));
  EXPECT_EQ(axis.z, 3.0f);
  // Agrees with the matrix built about the same axis.
  Random random(3);
  for (int trial = 0; trial < 30; ++trial) {
    const KMVECTOR3 v(random.Uniform(-3, 3), random.Uniform(-3, 3), random.Uniform(-3, 3));
    const float angle = random.Uniform(-6, 6);
    KMMATRIX by_axis, by_quaternion;
    KMMatrixRotationAxis(&by_axis, &v, angle);
    KMQuaternionRotationAxis(&q, &v, angle);
    KMMatrixRotationQuaternion(&by_quaternion, &q);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(by_quaternion.m[r][c], by_axis.m[r][c], 1e-6);
    }
  }
}

TEST(QuaternionRotationYawPitchRoll, RollThenPitchThenYaw) {
  KMQUATERNION q;
  KMQuaternionRotationYawPitchRoll(&q, static_cast<float>(kPi / 2), 0, 0);
  EXPECT_TRUE(
      Near(q, KMQUATERNION(0, float(std::sin(kPi / 4)), 0, float(std::cos(kPi / 4))), 1e-7));
  Random random(4);
  for (int trial = 0; trial < 50; ++trial) {
    const float yaw = random.Uniform(-6, 6), pitch = random.Uniform(-6, 6),
                roll = random.Uniform(-6, 6);
    KMQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    const KMQUATERNION expected =
        AxisAngle(0, 0, 1, roll) * AxisAngle(1, 0, 0, pitch) * AxisAngle(0, 1, 0, yaw);
    EXPECT_TRUE(Near(q, expected, 1e-6));
  }
}

// ---- Normalise and inverse ------------------------------------------------

TEST(QuaternionNormalize, ThresholdsAndUnitInputs) {
  KMQUATERNION q(0, 0, 0, 2);
  EXPECT_EQ(KMQuaternionNormalize(&q, &q), &q);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 1)));
  const KMQUATERNION zero(0, 0, 0, 0);
  const KMQUATERNION inputs_giving_zero[] = {
      KMQUATERNION(0, 0, 0, 0), KMQUATERNION(1e-20f, 0, 0, 0),
      KMQUATERNION(std::ldexp(1.0f, -63), 0, 0, 0),  // squared length exactly 2^-126
      KMQUATERNION(kNaN, 0, 0, 1)};
  for (const KMQUATERNION& in : inputs_giving_zero) {
    KMQUATERNION out(9, 9, 9, 9);
    KMQuaternionNormalize(&out, &in);
    EXPECT_TRUE(SameBits(out, zero)) << in.x;
  }
  // Just above the threshold it scales up.
  const KMQUATERNION tiny(std::ldexp(1.0f, -62), 0, 0, 0);
  KMQuaternionNormalize(&q, &tiny);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(1, 0, 0, 0)));
  // A squared length of 1 - 2^-23 (the inclusive bound) is kept bit for bit;
  // at 1 - 2^-22 the quaternion is scaled to length 1.
  const KMQUATERNION nearly(0, 0, 0, 1.0f - std::ldexp(1.0f, -24));
  KMQuaternionNormalize(&q, &nearly);
  EXPECT_TRUE(SameBits(q, nearly));
  const KMQUATERNION not_nearly(0, 0, 0, 1.0f - std::ldexp(1.0f, -23));
  KMQuaternionNormalize(&q, &not_nearly);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 1)));
  Random random(5);
  for (int trial = 0; trial < 20; ++trial) {
    const KMQUATERNION u = random.Unit();
    const KMQUATERNION scaled = u * random.Uniform(0.1f, 10);
    KMQuaternionNormalize(&q, &scaled);
    EXPECT_TRUE(Near(q, u, 2e-7));
  }
}

TEST(QuaternionInverse, ConjugateOverSquaredLength) {
  KMQUATERNION q;
  const KMQUATERNION two_w(0, 0, 0, 2);
  EXPECT_EQ(KMQuaternionInverse(&q, &two_w), &q);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(-0.0f, -0.0f, -0.0f, 0.5f)));
  const KMQUATERNION v(1, 2, 3, 4);
  KMQuaternionInverse(&q, &v);
  EXPECT_TRUE(Near(q, KMQUATERNION(-1 / 30.f, -2 / 30.f, -3 / 30.f, 4 / 30.f), 1e-8));
  // In place, and q * inverse(q) is the identity.
  KMQUATERNION in_place = v;
  KMQuaternionInverse(&in_place, &in_place);
  EXPECT_TRUE(SameBits(in_place, q));
  EXPECT_TRUE(Near(v * q, KMQUATERNION(0, 0, 0, 1), 1e-7));
  // A squared length within 2^-23 of 1 gives exactly the conjugate.
  const KMQUATERNION unit(0.6f, 0, 0, 0.8f);
  KMQuaternionInverse(&q, &unit);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(-0.6f, -0.0f, -0.0f, 0.8f)));
  const KMQUATERNION nearly(0, 0, 0, 1.0f - std::ldexp(1.0f, -24));  // squared: 1 - 2^-23
  KMQuaternionInverse(&q, &nearly);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(-0.0f, -0.0f, -0.0f, nearly.w)));
}

TEST(QuaternionInverse, TinyOrNaNSquaredLengthGivesZero) {
  const float e = std::ldexp(1.0f, -32);
  const KMQUATERNION inputs[] = {KMQUATERNION(1e-10f, 0, 0, 0),
                                 KMQUATERNION(e, e, 0, 0),  // exactly 2^-63
                                 KMQUATERNION(0, 0, kNaN, 0)};
  for (const KMQUATERNION& in : inputs) {
    KMQUATERNION out(9, 9, 9, 9);
    KMQuaternionInverse(&out, &in);
    EXPECT_TRUE(SameBits(out, KMQUATERNION(0, 0, 0, 0)));
  }
  const KMQUATERNION above(e, e, e, 0);  // 3 * 2^-64
  KMQUATERNION out;
  KMQuaternionInverse(&out, &above);
  EXPECT_NEAR(out.x, -1.0 / (3 * double(e)), 1e3);
}

// ---- Logarithm and exponential ---------------------------------------------

TEST(QuaternionLnExp, EdgeValues) {
  KMQUATERNION q;
  const KMQUATERNION identity(0, 0, 0, 1), minus_identity(0, 0, 0, -1);
  EXPECT_EQ(KMQuaternionLn(&q, &identity), &q);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 0)));
  KMQuaternionLn(&q, &minus_identity);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 0)));
  // w >= 1 or NaN: the vector part is copied, w becomes 0.
  const KMQUATERNION big_w(0.5f, -1, 2, 3), nan_w(0.5f, -1, 2, kNaN);
  KMQuaternionLn(&q, &big_w);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0.5f, -1, 2, 0)));
  KMQuaternionLn(&q, &nan_w);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0.5f, -1, 2, 0)));
  // At w = -1 the sine of the angle is only rounding noise: no division.
  const KMQUATERNION half_turn(1e-3f, 0, 0, -1);
  KMQuaternionLn(&q, &half_turn);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(1e-3f, 0, 0, 0)));
  // Likewise for the exponential of a vector of length pi (as a float).
  const float pi = static_cast<float>(kPi);
  const KMQUATERNION pi_vector(0, pi, 0, 0);
  KMQuaternionExp(&q, &pi_vector);
  EXPECT_TRUE(SameBits(q, KMQUATERNION(0, pi, 0, -1)));
  // The exponential ignores w.
  for (float w : {0.0f, 1.0f, -3.0f, kNaN}) {
    const KMQUATERNION in(0, 0, 0, w);
    EXPECT_EQ(KMQuaternionExp(&q, &in), &q);
    EXPECT_TRUE(SameBits(q, KMQUATERNION(0, 0, 0, 1)));
  }
}

TEST(QuaternionLnExp, RoundTrips) {
  Random random(6);
  for (int trial = 0; trial < 200; ++trial) {
    const KMQUATERNION q = random.Unit();
    KMQUATERNION ln, back;
    KMQuaternionLn(&ln, &q);
    EXPECT_EQ(ln.w, 0.0f);
    // (sin t v, cos t) -> (t v, 0)
    const double t = std::acos(double(q.w));
    EXPECT_NEAR(std::sqrt(double(ln.x) * ln.x + double(ln.y) * ln.y + double(ln.z) * ln.z), t,
                2e-6);
    KMQuaternionExp(&back, &ln);
    EXPECT_TRUE(Near(back, q, 1e-6)) << trial;
    // In place gives the same.
    KMQUATERNION in_place = q;
    KMQuaternionLn(&in_place, &in_place);
    KMQuaternionExp(&in_place, &in_place);
    EXPECT_TRUE(SameBits(in_place, back));

    // And the other way round, for vectors shorter than pi.
    const KMQUATERNION v(random.Uniform(-1.5f, 1.5f), random.Uniform(-1.5f, 1.5f),
                         random.Uniform(-1.5f, 1.5f), 7);
    KMQUATERNION e;
    KMQuaternionExp(&e, &v);
    KMQuaternionLn(&back, &e);
    EXPECT_TRUE(Near(back, KMQUATERNION(v.x, v.y, v.z, 0), 2e-6)) << trial;
  }
}

// ---- Slerp and the interpolations built on it -----------------------------

TEST(QuaternionSlerp, EndPointsFollowTheSignOfTheDotProduct) {
  Random random(7);
  for (int trial = 0; trial < 100; ++trial) {
    const KMQUATERNION a = random.Unit(), b = random.Unit();
    const bool apart = KMQuaternionDot(&a, &b) < 0;
    KMQUATERNION out;
    EXPECT_EQ(KMQuaternionSlerp(&out, &a, &b, 0), &out);
    EXPECT_TRUE(Near(out, a, 1e-6));
    KMQuaternionSlerp(&out, &a, &b, 1);
    EXPECT_TRUE(Near(out, apart ? -b : b, 1e-6));
    // q2 and -q2 give the same path.
    const KMQUATERNION minus_b = -b;
    const float t = random.Uniform(0, 1);
    KMQUATERNION with_b, with_minus_b;
    KMQuaternionSlerp(&with_b, &a, &b, t);
    KMQuaternionSlerp(&with_minus_b, &a, &minus_b, t);
    EXPECT_TRUE(SameBits(with_b, with_minus_b));
    // The output may be either input.
    KMQUATERNION first = a, second = b;
    KMQuaternionSlerp(&first, &first, &b, t);
    KMQuaternionSlerp(&second, &a, &second, t);
    EXPECT_TRUE(SameBits(first, with_b));
    EXPECT_TRUE(SameBits(second, with_b));
  }
}

TEST(QuaternionSlerp, FollowsTheGreatCircleAtConstantSpeed) {
  const KMQUATERNION a = AxisAngle(0, 0, 1, 0.2), b = AxisAngle(0, 0, 1, 1.4);
  for (float t : {0.25f, 0.5f, 0.75f}) {
    KMQUATERNION out;
    KMQuaternionSlerp(&out, &a, &b, t);
    EXPECT_TRUE(Near(out, AxisAngle(0, 0, 1, 0.2 + 1.2 * t), 3e-7)) << t;
  }
}

TEST(QuaternionSlerp, ParallelInputsUseLinearWeights) {
  const KMQUATERNION q(0.5f, -0.5f, 0.5f, 0.5f);
  const KMQUATERNION minus_q = -q;
  KMQUATERNION out;
  KMQuaternionSlerp(&out, &q, &minus_q, 1);
  EXPECT_TRUE(SameBits(out, q));  // exactly: weights 0 and -1
  for (float t : {0.0f, 0.3f, 1.0f, 1.5f}) {
    KMQuaternionSlerp(&out, &q, &q, t);
    EXPECT_TRUE(Near(out, q, 1e-7)) << t;
  }
  // Linear weights do not renormalise: 2 * q at t = 0.5 sits half way.
  const KMQUATERNION two_q = q * 2.0f;
  KMQuaternionSlerp(&out, &q, &two_q, 0.5f);
  EXPECT_TRUE(SameBits(out, q * 1.5f));
}

TEST(QuaternionSlerp, LinearWeightsOnlyWithin2ToTheMinus23OfParallel) {
  // Non-unit inputs make the two branches differ clearly.
  const KMQUATERNION one(0, 0, 0, 1);
  const KMQUATERNION at_bound(0, 0, 0, 1.0f - std::ldexp(1.0f, -23));
  KMQUATERNION out;
  KMQuaternionSlerp(&out, &one, &at_bound, 0.5f);
  EXPECT_EQ(out.w, 1.0f - std::ldexp(1.0f, -24));  // 0.5 * 1 + 0.5 * w
  // 1 - dot = 1e-4: the angular branch, whose weights exceed the linear ones.
  const KMQUATERNION apart(0, 0, 0, 0.9999f);
  KMQuaternionSlerp(&out, &one, &apart, 0.5f);
  const double theta = std::acos(double(apart.w));
  const double k = std::sin(theta / 2) / std::sin(theta);
  EXPECT_NEAR(out.w, k * (1 + double(apart.w)), 1e-7);
  EXPECT_GT(out.w, 0.5f * (1 + apart.w) + 1e-5f);
}

TEST(QuaternionSlerp, ZeroDotProductKeepsTheSign) {
  // With a dot product of exactly 0 (also -0) no negation happens, so q2 and
  // -q2 go different ways.
  const KMQUATERNION a(1, 0, 0, 0), b(0, 1, 0, 0), minus_b(0, -1, 0, 0);
  KMQUATERNION towards_b, towards_minus_b;
  KMQuaternionSlerp(&towards_b, &a, &b, 1);
  KMQuaternionSlerp(&towards_minus_b, &a, &minus_b, 1);
  EXPECT_TRUE(Near(towards_b, b, 1e-7));
  EXPECT_TRUE(Near(towards_minus_b, minus_b, 1e-7));
}

TEST(QuaternionSquad, MatchesItsDefinitionAndEndPoints) {
  Random random(8);
  for (int trial = 0; trial < 50; ++trial) {
    const KMQUATERNION q1 = random.Unit(), a = random.Unit(), b = random.Unit(), c = random.Unit();
    const float t = random.Uniform(0, 1);
    KMQUATERNION out, p, r, expected;
    EXPECT_EQ(KMQuaternionSquad(&out, &q1, &a, &b, &c, t), &out);
    KMQuaternionSlerp(&p, &q1, &c, t);
    KMQuaternionSlerp(&r, &a, &b, t);
    KMQuaternionSlerp(&expected, &p, &r, 2 * t * (1 - t));
    EXPECT_TRUE(Near(out, expected, 1e-6));
    // At the ends the inner pair has weight 0.
    KMQuaternionSquad(&out, &q1, &a, &b, &c, 0);
    EXPECT_TRUE(Near(out, q1, 1e-6));
    KMQuaternionSquad(&out, &q1, &a, &b, &c, 1);
    EXPECT_TRUE(SameRotation(out, c, 1e-6));
  }
}

TEST(QuaternionSquadSetup, EqualInputsGiveThatQuaternion) {
  Random random(9);
  for (int trial = 0; trial < 20; ++trial) {
    const KMQUATERNION q = random.Unit();
    KMQUATERNION a, b, c;
    KMQuaternionSquadSetup(&a, &b, &c, &q, &q, &q, &q);
    EXPECT_TRUE(Near(a, q, 1e-6));
    EXPECT_TRUE(Near(b, q, 1e-6));
    EXPECT_TRUE(SameBits(c, q));
  }
}

TEST(QuaternionSquadSetup, ControlPointsOfRotationsAboutOneAxis) {
  // For rotations about one axis by angles 0, a1, a2, a3 the control points
  // are rotations by a1 - (a2 - 2 a1) / 4 and a2 - (a1 + a3 - 2 a2) / 4.
  const double a1 = 0.5, a2 = 1.3, a3 = 1.6;
  const KMQUATERNION q0 = AxisAngle(0, 1, 0, 0), q1 = AxisAngle(0, 1, 0, a1),
                     q2 = AxisAngle(0, 1, 0, a2), q3 = AxisAngle(0, 1, 0, a3);
  KMQUATERNION a, b, c;
  KMQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
  EXPECT_TRUE(Near(a, AxisAngle(0, 1, 0, a1 - (a2 - 2 * a1) / 4), 1e-6));
  EXPECT_TRUE(Near(b, AxisAngle(0, 1, 0, a2 - (a1 + a3 - 2 * a2) / 4), 1e-6));
  EXPECT_TRUE(SameBits(c, q2));

  // Wide steps: q3 is on q2's side but not on q1's, so only the choice
  // against q2 keeps it. Angles here are full turns of 0, -40, 160 and 300
  // degrees; every difference stays below 180.
  const double d = kPi / 180;
  const double b0 = -40 * d, b1 = 0, b2 = 160 * d, b3 = 300 * d;
  const KMQUATERNION w0 = AxisAngle(0, 0, 1, b0), w1 = AxisAngle(0, 0, 1, b1),
                     w2 = AxisAngle(0, 0, 1, b2), w3 = AxisAngle(0, 0, 1, b3);
  ASSERT_LT(KMQuaternionDot(&w1, &w3), 0.0f);
  ASSERT_GT(KMQuaternionDot(&w2, &w3), 0.0f);
  KMQuaternionSquadSetup(&a, &b, &c, &w0, &w1, &w2, &w3);
  EXPECT_TRUE(Near(a, AxisAngle(0, 0, 1, b1 - (b0 + b2 - 2 * b1) / 4), 1e-6));
  EXPECT_TRUE(Near(b, AxisAngle(0, 0, 1, b2 - (b1 + b3 - 2 * b2) / 4), 1e-6));

  // Evenly spaced keys: the squad curve is the slerp itself.
  const KMQUATERNION e0 = AxisAngle(1, 0, 0, 0.1), e1 = AxisAngle(1, 0, 0, 0.5),
                     e2 = AxisAngle(1, 0, 0, 0.9), e3 = AxisAngle(1, 0, 0, 1.3);
  KMQuaternionSquadSetup(&a, &b, &c, &e0, &e1, &e2, &e3);
  for (float t : {0.2f, 0.5f, 0.8f}) {
    KMQUATERNION squad, slerp;
    KMQuaternionSquad(&squad, &e1, &a, &b, &c, t);
    KMQuaternionSlerp(&slerp, &e1, &e2, t);
    EXPECT_TRUE(Near(squad, slerp, 1e-6)) << t;
  }
}

TEST(QuaternionSquadSetup, HemisphereChoicesAndAliasedOutputs) {
  Random random(10);
  for (int trial = 0; trial < 20; ++trial) {
    const KMQUATERNION q0 = random.Unit(), q1 = random.Unit(), q2 = random.Unit(),
                       q3 = random.Unit();
    KMQUATERNION a, b, c;
    KMQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
    // Flipping the sign of q0, q2 or q3 changes nothing: each is put on its
    // neighbour's side first.
    const KMQUATERNION m0 = -q0, m2 = -q2, m3 = -q3;
    KMQUATERNION a2, b2, c2;
    KMQuaternionSquadSetup(&a2, &b2, &c2, &m0, &q1, &m2, &m3);
    EXPECT_TRUE(SameBits(a2, a));
    EXPECT_TRUE(SameBits(b2, b));
    EXPECT_TRUE(SameBits(c2, c));
    // C is q2 on q1's side.
    EXPECT_TRUE(SameBits(c, KMQuaternionDot(&q1, &q2) < 0 ? -q2 : q2));
    // Outputs written over the inputs.
    KMQUATERNION p0 = q0, p1 = q1, p2 = q2, p3 = q3;
    KMQuaternionSquadSetup(&p2, &p0, &p1, &p0, &p1, &p2, &p3);
    EXPECT_TRUE(SameBits(p2, a));
    EXPECT_TRUE(SameBits(p0, b));
    EXPECT_TRUE(SameBits(p1, c));
  }
  // q0 = -q1 is treated as q0 = q1.
  const KMQUATERNION q = AxisAngle(0, 0, 1, 0.3), minus_q = -q, r = AxisAngle(0, 0, 1, 0.9);
  KMQUATERNION a1, b1, c1, a2, b2, c2;
  KMQuaternionSquadSetup(&a1, &b1, &c1, &minus_q, &q, &r, &r);
  KMQuaternionSquadSetup(&a2, &b2, &c2, &q, &q, &r, &r);
  EXPECT_TRUE(SameBits(a1, a2));
  EXPECT_TRUE(SameBits(b1, b2));
  EXPECT_TRUE(SameBits(c1, c2));
}

TEST(QuaternionBaryCentric, CornersAndDefinition) {
  Random random(11);
  for (int trial = 0; trial < 50; ++trial) {
    const KMQUATERNION q1 = random.Unit(), q2 = random.Unit(), q3 = random.Unit();
    KMQUATERNION out;
    EXPECT_EQ(KMQuaternionBaryCentric(&out, &q1, &q2, &q3, 0, 0), &out);
    EXPECT_TRUE(SameBits(out, q1));
    KMQuaternionBaryCentric(&out, &q1, &q2, &q3, 1, 0);
    EXPECT_TRUE(Near(out, KMQuaternionDot(&q1, &q2) < 0 ? -q2 : q2, 1e-6));
    KMQuaternionBaryCentric(&out, &q1, &q2, &q3, 0, 1);
    EXPECT_TRUE(SameRotation(out, q3, 1e-6));
    // f + g within 2^-23 of 0 returns q1 as it is.
    KMQuaternionBaryCentric(&out, &q1, &q2, &q3, 0.5f, -0.5f + std::ldexp(1.0f, -24));
    EXPECT_TRUE(SameBits(out, q1));
    const float f = random.Uniform(0.1f, 0.6f), g = random.Uniform(0.1f, 0.4f);
    KMQUATERNION p, r, expected;
    KMQuaternionSlerp(&p, &q1, &q2, f + g);
    KMQuaternionSlerp(&r, &q1, &q3, f + g);
    KMQuaternionSlerp(&expected, &p, &r, g / (f + g));
    KMQuaternionBaryCentric(&out, &q1, &q2, &q3, f, g);
    EXPECT_TRUE(Near(out, expected, 1e-6));
  }
}

// ---- To axis and angle ------------------------------------------------------

TEST(QuaternionToAxisAngle, EitherOutputMayBeOmitted) {
  KMVECTOR3 axis(9, 9, 9);
  float angle = 9;
  const KMQUATERNION identity(0, 0, 0, 1);
  KMQuaternionToAxisAngle(&identity, &axis, &angle);
  EXPECT_EQ(axis.x, 0.0f);
  EXPECT_EQ(axis.y, 0.0f);
  EXPECT_EQ(axis.z, 0.0f);
  EXPECT_EQ(angle, 0.0f);

  const KMQUATERNION quarter(0, 0, float(std::sin(kPi / 4)), float(std::cos(kPi / 4)));
  axis = KMVECTOR3(9, 9, 9);
  KMQuaternionToAxisAngle(&quarter, nullptr, &angle);
  EXPECT_NEAR(angle, kPi / 2, 1e-6);
  angle = 9;
  KMQuaternionToAxisAngle(&quarter, &axis, nullptr);
  EXPECT_EQ(angle, 9.0f);
  EXPECT_EQ(axis.z, quarter.z);  // not normalised
  KMQuaternionToAxisAngle(&quarter, nullptr, nullptr);

  const KMQUATERNION beyond(0, 0, 0, 1.5f);
  KMQuaternionToAxisAngle(&beyond, nullptr, &angle);
  EXPECT_TRUE(std::isnan(angle));
}

// ---- Composites go through the public entries ---------------------------------

struct Calls {
  int slerp = 0, inverse = 0, multiply = 0, ln = 0, exp = 0, vec3_normalize = 0;
};
Calls calls;

KMQUATERNION* CountSlerp(KMQUATERNION* out, const KMQUATERNION* a, const KMQUATERNION* b, float t) {
  ++calls.slerp;
  return kubik::reference::KMQuaternionSlerp(out, a, b, t);
}
KMQUATERNION* CountInverse(KMQUATERNION* out, const KMQUATERNION* q) {
  ++calls.inverse;
  return kubik::reference::KMQuaternionInverse(out, q);
}
KMQUATERNION* CountMultiply(KMQUATERNION* out, const KMQUATERNION* a, const KMQUATERNION* b) {
  ++calls.multiply;
  return kubik::reference::KMQuaternionMultiply(out, a, b);
}
KMQUATERNION* CountLn(KMQUATERNION* out, const KMQUATERNION* q) {
  ++calls.ln;
  return kubik::reference::KMQuaternionLn(out, q);
}
KMQUATERNION* CountExp(KMQUATERNION* out, const KMQUATERNION* q) {
  ++calls.exp;
  return kubik::reference::KMQuaternionExp(out, q);
}
KMVECTOR3* CountVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  ++calls.vec3_normalize;
  return kubik::reference::KMVec3Normalize(out, v);
}

class QuaternionComposites : public ::testing::Test {
 protected:
  void SetUp() override {
    kubik::ResetSelectionForTesting();
    KMQUATERNION bind;
    KMQuaternionRotationYawPitchRoll(&bind, 0, 0, 0);
    using kubik::Slot;
    auto& table = kubik::ProcessOperationTable();
    table.Set<Slot::KMQuaternionSlerp>(&CountSlerp);
    table.Set<Slot::KMQuaternionInverse>(&CountInverse);
    table.Set<Slot::KMQuaternionMultiply>(&CountMultiply);
    table.Set<Slot::KMQuaternionLn>(&CountLn);
    table.Set<Slot::KMQuaternionExp>(&CountExp);
    table.Set<Slot::KMVec3Normalize>(&CountVec3Normalize);
    calls = Calls{};
  }
  void TearDown() override { kubik::ResetSelectionForTesting(); }
};

TEST_F(QuaternionComposites, CallTheInstalledImplementations) {
  const KMQUATERNION q0 = AxisAngle(1, 0, 0, 0.1), q1 = AxisAngle(0, 1, 0, 0.5),
                     q2 = AxisAngle(0, 0, 1, 0.9), q3 = AxisAngle(1, 0, 0, 1.3);
  KMQUATERNION a, b, c, out;
  KMQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
  EXPECT_EQ(calls.inverse, 2);
  EXPECT_EQ(calls.multiply, 6);
  EXPECT_EQ(calls.ln, 4);
  EXPECT_EQ(calls.exp, 2);
  KMQuaternionSquad(&out, &q1, &a, &b, &c, 0.3f);
  EXPECT_EQ(calls.slerp, 3);
  KMQuaternionBaryCentric(&out, &q1, &q2, &q3, 0.3f, 0.2f);
  EXPECT_EQ(calls.slerp, 6);
  const KMVECTOR3 axis(1, 1, 0);
  KMQuaternionRotationAxis(&out, &axis, 1);
  EXPECT_EQ(calls.vec3_normalize, 1);
  // The operator goes through the product's entry too.
  out = q1 * q2;
  EXPECT_EQ(calls.multiply, 7);
}

}  // namespace
