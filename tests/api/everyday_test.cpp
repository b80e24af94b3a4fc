// The everyday inline operations and the C++ value operators: known values,
// the edge rules their comments state, aliasing, and the same results from
// the C (static inline) and C++ compilations of one header.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/api/everyday_c.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(EverydayVectors, KnownValues) {
  const KMVECTOR3 a(1.0f, 2.0f, 3.0f), b(4.0f, -5.0f, 6.0f);
  EXPECT_EQ(KMVec3Dot(&a, &b), 12.0f);
  EXPECT_EQ(KMVec3LengthSq(&a), 14.0f);
  const KMVECTOR3 pythagoras(2.0f, 3.0f, 6.0f);
  EXPECT_EQ(KMVec3Length(&pythagoras), 7.0f);
  const KMVECTOR2 p(3.0f, 4.0f), q(-4.0f, 3.0f);
  EXPECT_EQ(KMVec2Length(&p), 5.0f);
  EXPECT_EQ(KMVec2Dot(&p, &q), 0.0f);
  EXPECT_EQ(KMVec2Cross(&p, &q), 25.0f);  // q is a quarter turn counter-clockwise of p
  EXPECT_EQ(KMVec2Cross(&q, &p), -25.0f);
  const KMVECTOR4 h(1.0f, 2.0f, 2.0f, 4.0f);
  EXPECT_EQ(KMVec4Length(&h), 5.0f);
  EXPECT_EQ(KMVec4Dot(&h, &h), KMVec4LengthSq(&h));

  const KMVECTOR3 x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f);
  KMVECTOR3 z;
  EXPECT_EQ(*KMVec3Cross(&z, &x, &y), KMVECTOR3(0.0f, 0.0f, 1.0f));
  EXPECT_EQ(*KMVec3Cross(&z, &a, &b), KMVECTOR3(27.0f, 6.0f, -13.0f));
}

TEST(EverydayVectors, DotAndLengthRoundOnce) {
  // (1 + 2^-12)^2 - 1 is 2^-11 + 2^-24; float products would round the
  // square to 1 + 2^-11 (a tie to even) and return 2^-11.
  const float e = 1.0f + std::ldexp(1.0f, -12);
  const KMVECTOR3 v(e, 1.0f, 0.0f), w(e, -1.0f, 0.0f);
  EXPECT_EQ(KMVec3Dot(&v, &w), std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
  // Large components do not overflow in the sum before the square root.
  const KMVECTOR3 big(3e30f, 4e30f, 0.0f);
  EXPECT_FLOAT_EQ(KMVec3Length(&big), 5e30f);
}

TEST(EverydayVectors, OutputMayBeAnInput) {
  KMVECTOR3 a(1.0f, 2.0f, 3.0f);
  const KMVECTOR3 b(4.0f, 5.0f, 6.0f);
  KMVec3Cross(&a, &a, &b);
  EXPECT_EQ(a, KMVECTOR3(-3.0f, 6.0f, -3.0f));
  KMVECTOR3 c(4.0f, 5.0f, 6.0f);
  KMVec3Cross(&c, &a, &c);
  EXPECT_EQ(c, KMVECTOR3(51.0f, 6.0f, -39.0f));
  KMVECTOR4 l(0.0f, 0.0f, 0.0f, 0.0f);
  const KMVECTOR4 m(2.0f, 4.0f, 6.0f, 8.0f);
  KMVec4Lerp(&l, &l, &m, 0.25f);
  EXPECT_EQ(l, KMVECTOR4(0.5f, 1.0f, 1.5f, 2.0f));
}

TEST(EverydayVectors, LerpEndsAreExact) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1e6f, 1e6f);
  for (int i = 0; i < 1000; ++i) {
    const KMVECTOR3 a(value(random), value(random), value(random));
    const KMVECTOR3 b(value(random), value(random), value(random));
    KMVECTOR3 out;
    EXPECT_EQ(*KMVec3Lerp(&out, &a, &b, 0.0f), a);
    EXPECT_EQ(*KMVec3Lerp(&out, &a, &b, 1.0f), b);
  }
}

TEST(EverydayVectors, MinimizeAndMaximize) {
  const KMVECTOR4 a(1.0f, -2.0f, kNaN, 0.0f), b(0.5f, 3.0f, 1.0f, kNaN);
  KMVECTOR4 lo, hi;
  KMVec4Minimize(&lo, &a, &b);
  KMVec4Maximize(&hi, &a, &b);
  EXPECT_EQ(lo.x, 0.5f);
  EXPECT_EQ(lo.y, -2.0f);
  EXPECT_EQ(hi.x, 1.0f);
  EXPECT_EQ(hi.y, 3.0f);
  // A NaN in b gives a's component; a NaN in a stays.
  EXPECT_EQ(lo.w, 0.0f);
  EXPECT_EQ(hi.w, 0.0f);
  EXPECT_TRUE(std::isnan(lo.z));
  EXPECT_TRUE(std::isnan(hi.z));
  const KMVECTOR2 p(1.0f, 5.0f), q(2.0f, 4.0f);
  KMVECTOR2 r;
  EXPECT_EQ(*KMVec2Minimize(&r, &p, &q), KMVECTOR2(1.0f, 4.0f));
  EXPECT_EQ(*KMVec2Maximize(&r, &p, &q), KMVECTOR2(2.0f, 5.0f));
}

TEST(EverydayPlanesAndColors, KnownValues) {
  const KMPLANE ground(0.0f, 1.0f, 0.0f, -2.0f);  // y = 2
  const KMVECTOR3 above(5.0f, 7.0f, -1.0f);
  EXPECT_EQ(KMPlaneDotCoord(&ground, &above), 5.0f);
  EXPECT_EQ(KMPlaneDotNormal(&ground, &above), 7.0f);
  const KMVECTOR4 direction(5.0f, 7.0f, -1.0f, 0.0f);
  EXPECT_EQ(KMPlaneDot(&ground, &direction), 7.0f);
  KMPLANE scaled;
  EXPECT_EQ(*KMPlaneScale(&scaled, &ground, -2.0f), KMPLANE(-0.0f, -2.0f, -0.0f, 4.0f));

  const KMCOLOR grey(0.5f, 0.5f, 0.5f, 1.0f), tint(1.0f, 0.5f, 0.0f, 0.5f);
  KMCOLOR c;
  EXPECT_EQ(*KMColorAdd(&c, &grey, &tint), KMCOLOR(1.5f, 1.0f, 0.5f, 1.5f));
  EXPECT_EQ(*KMColorSubtract(&c, &grey, &tint), KMCOLOR(-0.5f, 0.0f, 0.5f, 0.5f));
  EXPECT_EQ(*KMColorScale(&c, &grey, 4.0f), KMCOLOR(2.0f, 2.0f, 2.0f, 4.0f));
  EXPECT_EQ(*KMColorModulate(&c, &grey, &tint), KMCOLOR(0.5f, 0.25f, 0.0f, 0.5f));
  EXPECT_EQ(*KMColorLerp(&c, &grey, &tint, 0.5f), KMCOLOR(0.75f, 0.5f, 0.25f, 0.75f));
  EXPECT_EQ(*KMColorNegative(&c, &tint), KMCOLOR(0.0f, 0.5f, 1.0f, 0.5f));
}

TEST(EverydayIdentities, MatrixAndQuaternion) {
  KMMATRIX m;
  EXPECT_TRUE(KMMatrixIsIdentity(KMMatrixIdentity(&m)));
  m._42 = -0.0f;
  EXPECT_TRUE(KMMatrixIsIdentity(&m));
  m._42 = 1e-30f;
  EXPECT_FALSE(KMMatrixIsIdentity(&m));
  m._42 = 0.0f;
  m._44 = kNaN;
  EXPECT_FALSE(KMMatrixIsIdentity(&m));

  KMQUATERNION q(5.0f, 5.0f, 5.0f, 5.0f);
  EXPECT_EQ(*KMQuaternionIdentity(&q), KMQUATERNION(0.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_TRUE(KMQuaternionIsIdentity(&q));
  q.w = -1.0f;  // the same rotation, but not the identity element
  EXPECT_FALSE(KMQuaternionIsIdentity(&q));
}

TEST(ValueOperators, CompareByValueNotAddress) {
  const KMVECTOR3 a(1.0f, 2.0f, 3.0f), b(1.0f, 2.0f, 3.0f), c(1.0f, 2.0f, 4.0f);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a != b);
  EXPECT_TRUE(a != c);
  EXPECT_TRUE(KMVECTOR2(0.0f, 1.0f) == KMVECTOR2(-0.0f, 1.0f));
  EXPECT_FALSE(KMVECTOR4(kNaN, 0, 0, 0) == KMVECTOR4(kNaN, 0, 0, 0));
  EXPECT_TRUE(KMQUATERNION(1, 2, 3, 4) == KMQUATERNION(1, 2, 3, 4));
  EXPECT_TRUE(KMPLANE(1, 2, 3, 4) != KMPLANE(1, 2, 3, 5));
  EXPECT_TRUE(KMCOLOR(1, 2, 3, 4) == KMCOLOR(1, 2, 3, 4));
  KMMATRIX m1, m2;
  KMMatrixIdentity(&m1);
  KMMatrixIdentity(&m2);
  EXPECT_TRUE(m1 == m2);
  m2._34 = 1.0f;
  EXPECT_TRUE(m1 != m2);
}

TEST(ValueOperators, ArithmeticMatchesTheInlineFunctions) {
  const KMVECTOR3 a(1.5f, -2.0f, 3.25f), b(0.5f, 4.0f, -1.0f);
  KMVECTOR3 want;
  EXPECT_EQ(a + b, *KMVec3Add(&want, &a, &b));
  EXPECT_EQ(a - b, *KMVec3Subtract(&want, &a, &b));
  EXPECT_EQ(a * 3.0f, *KMVec3Scale(&want, &a, 3.0f));
  EXPECT_EQ(3.0f * a, a * 3.0f);
  EXPECT_EQ(-a, KMVECTOR3(-1.5f, 2.0f, -3.25f));
  EXPECT_EQ(+a, a);
  EXPECT_EQ(a / 2.0f, KMVECTOR3(0.75f, -1.0f, 1.625f));
  KMVECTOR3 c = a;
  c += b;
  c -= a;
  EXPECT_EQ(c, b);
  c *= 2.0f;
  c /= 4.0f;
  EXPECT_EQ(c, KMVECTOR3(0.25f, 2.0f, -0.5f));

  const KMVECTOR2 p(1.0f, 2.0f);
  EXPECT_EQ(p + p - p * 2.0f, KMVECTOR2(0.0f, 0.0f));
  const KMVECTOR4 v(1.0f, 2.0f, 3.0f, 4.0f);
  EXPECT_EQ(-(2.0f * v) / 2.0f + v, KMVECTOR4(0.0f, 0.0f, 0.0f, 0.0f));
  const KMCOLOR k(0.5f, 0.25f, 1.0f, 1.0f);
  EXPECT_EQ(k * 2.0f - k, k);
  KMPLANE plane(1.0f, 0.0f, 0.0f, 2.0f);
  plane *= -1.0f;
  EXPECT_EQ(plane, -KMPLANE(1.0f, 0.0f, 0.0f, 2.0f));
}

TEST(ValueOperators, QuaternionProductFollowsTheOperation) {
  KMQUATERNION p, q;
  KMQuaternionRotationYawPitchRoll(&p, 0.3f, -0.2f, 0.1f);
  KMQuaternionRotationYawPitchRoll(&q, -1.1f, 0.4f, 0.7f);
  KMQUATERNION want;
  KMQuaternionMultiply(&want, &p, &q);
  EXPECT_EQ(p * q, want);
  KMQUATERNION r = p;
  r *= q;
  EXPECT_EQ(r, want);
  EXPECT_EQ((p + q) - q, p + q - q);
  EXPECT_EQ(2.0f * p, p * 2.0f);
}

TEST(ValueOperators, FloatPointerConversionStays) {
  KMVECTOR3 v(1.0f, 2.0f, 3.0f);
  float* p = v;
  p[2] = 9.0f;
  EXPECT_EQ(v.z, 9.0f);
  const KMVECTOR4 w(1.0f, 2.0f, 3.0f, 4.0f);
  const float* q = w;
  EXPECT_EQ(q[3], 4.0f);
  EXPECT_EQ(w[1], 2.0f);
}

TEST(EverydayInC, SameResultsAsCpp) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> value(-100.0f, 100.0f);
  for (int round = 0; round < 200; ++round) {
    float in[kEverydayInputs];
    for (float& f : in) f = value(random);
    float from_c[kEverydayResults];
    EverydayInC(in, from_c);

    const KMVECTOR3& a = *reinterpret_cast<const KMVECTOR3*>(in);
    const KMVECTOR3& b = *reinterpret_cast<const KMVECTOR3*>(in + 3);
    const KMVECTOR4 a4(in[0], in[1], in[2], in[3]), b4(in[4], in[5], in[6], in[7]);
    const KMVECTOR2 a2(in[0], in[1]), b2(in[2], in[3]);
    const KMPLANE plane(in[4], in[5], in[6], in[7]);
    const KMCOLOR c1(in[0], in[1], in[2], in[3]), c2(in[4], in[5], in[6], in[7]);
    const float s = in[8];
    KMVECTOR3 v;
    KMVECTOR4 w;
    KMCOLOR c;
    float from_cpp[kEverydayResults];
    int i = 0;
    from_cpp[i++] = KMVec2Dot(&a2, &b2);
    from_cpp[i++] = KMVec3Dot(&a, &b);
    from_cpp[i++] = KMVec4Dot(&a4, &b4);
    from_cpp[i++] = KMVec2Length(&a2);
    from_cpp[i++] = KMVec3Length(&a);
    from_cpp[i++] = KMVec4LengthSq(&a4);
    from_cpp[i++] = KMVec2Cross(&a2, &b2);
    KMVec3Cross(&v, &a, &b);
    from_cpp[i++] = v.x;
    from_cpp[i++] = v.y;
    from_cpp[i++] = v.z;
    KMVec4Lerp(&w, &a4, &b4, s);
    from_cpp[i++] = w.x;
    from_cpp[i++] = w.w;
    KMVec3Minimize(&v, &a, &b);
    from_cpp[i++] = v.y;
    KMVec4Maximize(&w, &a4, &b4);
    from_cpp[i++] = w.z;
    from_cpp[i++] = KMPlaneDotCoord(&plane, &a);
    from_cpp[i++] = KMPlaneDot(&plane, &a4);
    from_cpp[i++] = KMPlaneDotNormal(&plane, &a);
    KMColorLerp(&c, &c1, &c2, s);
    from_cpp[i++] = c.g;
    KMColorNegative(&c, KMColorModulate(&c, &c1, &c2));
    from_cpp[i++] = c.r;
    from_cpp[i++] = c.a;
    ASSERT_EQ(i, kEverydayResults);
    EXPECT_EQ(std::memcmp(from_c, from_cpp, sizeof from_c), 0) << "round " << round;
  }
}

}  // namespace
