// View and projection builders: the listed matrices, and where each builder
// sends the corners of its view volume.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

struct Point {
  double x, y, z;
};

// (x, y, z, 1) x m, divided by w.
Point Apply(const KMMATRIX& m, double x, double y, double z) {
  double r[4];
  for (int c = 0; c < 4; ++c) r[c] = x * m.m[0][c] + y * m.m[1][c] + z * m.m[2][c] + m.m[3][c];
  return {r[0] / r[3], r[1] / r[3], r[2] / r[3]};
}

void ExpectPoint(const Point& p, double x, double y, double z, double tolerance = 1e-5) {
  EXPECT_NEAR(p.x, x, tolerance);
  EXPECT_NEAR(p.y, y, tolerance);
  EXPECT_NEAR(p.z, z, tolerance);
}

void ExpectMatrix(const KMMATRIX& m, const float (&expected)[16]) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i / 4][i % 4], expected[i]) << "element " << i;
}

TEST(LookAt, ListedCameras) {
  const KMVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0), tall_up(0, 7, 0);
  KMMATRIX m;
  EXPECT_EQ(KMMatrixLookAtLH(&m, &eye, &at, &up), &m);
  ExpectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1});
  EXPECT_TRUE(std::signbit(m._41));
  EXPECT_TRUE(std::signbit(m._42));

  KMMATRIX tall;
  KMMatrixLookAtLH(&tall, &eye, &at, &tall_up);
  ExpectMatrix(tall, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1});

  EXPECT_EQ(KMMatrixLookAtRH(&m, &eye, &at, &up), &m);
  ExpectMatrix(m, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -5, 1});
}

TEST(LookAt, PutsTheEyeAtTheOriginAndTheTargetOnTheDepthAxis) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> d(-20.0f, 20.0f);
  for (int i = 0; i < 200; ++i) {
    const KMVECTOR3 eye(d(rng), d(rng), d(rng)), at(d(rng), d(rng), d(rng));
    const KMVECTOR3 up(d(rng), d(rng), d(rng));
    const double dist =
        std::hypot(double{at.x} - eye.x, double{at.y} - eye.y, double{at.z} - eye.z);
    KMMATRIX lh, rh;
    KMMatrixLookAtLH(&lh, &eye, &at, &up);
    KMMatrixLookAtRH(&rh, &eye, &at, &up);
    ExpectPoint(Apply(lh, eye.x, eye.y, eye.z), 0, 0, 0, 1e-4);
    ExpectPoint(Apply(lh, at.x, at.y, at.z), 0, 0, dist, 1e-4);
    ExpectPoint(Apply(rh, at.x, at.y, at.z), 0, 0, -dist, 1e-4);
    // up lands in the upper half of the y-z plane; its length and its part
    // along the forward axis do not matter.
    const Point u = Apply(lh, eye.x + up.x, eye.y + up.y, eye.z + up.z);
    EXPECT_NEAR(u.x, 0, 1e-4);
    EXPECT_GT(u.y, 0);
    KMVECTOR3 leaning(up.x * 3 + (at.x - eye.x), up.y * 3 + (at.y - eye.y),
                      up.z * 3 + (at.z - eye.z));
    KMMATRIX other;
    KMMatrixLookAtLH(&other, &eye, &at, &leaning);
    for (int e = 0; e < 16; ++e) EXPECT_NEAR(other.m[e / 4][e % 4], lh.m[e / 4][e % 4], 1e-4);
    // The rotation part is orthonormal.
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) {
        double dot = 0;
        for (int k = 0; k < 3; ++k) dot += double{lh.m[k][a]} * lh.m[k][b];
        EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-5);
      }
    }
  }
}

TEST(Perspective, ListedMatricesAndDepthMapping) {
  KMMATRIX m;
  EXPECT_EQ(KMMatrixPerspectiveLH(&m, 2, 2, 1, 10), &m);
  ExpectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 10.0f / 9.0f, 1, 0, 0, -10.0f / 9.0f, 0});
  ExpectPoint(Apply(m, 0, 0, 1), 0, 0, 0);
  ExpectPoint(Apply(m, 0, 0, 10), 0, 0, 1);
  ExpectPoint(Apply(m, 1, 1, 1), 1, 1, 0);  // the near plane's corner

  EXPECT_EQ(KMMatrixPerspectiveRH(&m, 2, 2, 1, 10), &m);
  ExpectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -10.0f / 9.0f, -1, 0, 0, -10.0f / 9.0f, 0});
  ExpectPoint(Apply(m, 0, 0, -1), 0, 0, 0);
  ExpectPoint(Apply(m, 0, 0, -10), 0, 0, 1);
  ExpectPoint(Apply(m, -1, 1, -1), -1, 1, 0);
}

TEST(Perspective, FieldOfViewFormsDifferOnlyInDepth) {
  const float quarter_pi = 0.785398163f, aspect = 4.0f / 3.0f;
  KMMATRIX lh, rh;
  KMMatrixPerspectiveFovLH(&lh, quarter_pi, aspect, 0.1f, 100.0f);
  EXPECT_EQ(KMMatrixPerspectiveFovRH(&rh, quarter_pi, aspect, 0.1f, 100.0f), &rh);
  EXPECT_NEAR(rh._22, 2.4142134, 1e-6);
  EXPECT_NEAR(rh._11, 1.8106600, 1e-6);
  EXPECT_EQ(rh._11, lh._11);
  EXPECT_EQ(rh._22, lh._22);
  EXPECT_FLOAT_EQ(rh._33, static_cast<float>(100.0 / (0.1f - 100.0)));
  EXPECT_EQ(rh._34, -1.0f);
  EXPECT_EQ(rh._44, 0.0f);
  ExpectPoint(Apply(rh, 0, 0, -0.1f), 0, 0, 0);
  ExpectPoint(Apply(rh, 0, 0, -100.0f), 0, 0, 1, 1e-4);
  // The top of the view volume at half the field of view maps to y = 1.
  const double zv = 7.0, top = zv * std::tan(quarter_pi / 2);
  ExpectPoint(Apply(rh, top * aspect, top, -zv), 1, 1, Apply(rh, 0, 0, -zv).z);
}

// The field-of-view scale is cos/sin of the half angle, each rounded to
// float from the C library's double sine and cosine; the builders must give
// those floats bit for bit whatever way they compute them.
TEST(Perspective, FieldOfViewScaleIsTheLibrarySineAndCosineRoundedToFloat) {
  auto expect_scale = [](float fovy, float aspect) {
    const double half = fovy * 0.5f;
    const double h = static_cast<double>(static_cast<float>(std::cos(half))) /
                     static_cast<float>(std::sin(half));
    KMMATRIX lh, rh;
    KMMatrixPerspectiveFovLH(&lh, fovy, aspect, 0.5f, 50.0f);
    KMMatrixPerspectiveFovRH(&rh, fovy, aspect, 0.5f, 50.0f);
    const float y = static_cast<float>(h), x = static_cast<float>(h / aspect);
    for (const KMMATRIX* m : {&lh, &rh}) {
      ASSERT_TRUE(std::memcmp(&m->_22, &y, 4) == 0) << std::hexfloat << fovy << " " << m->_22;
      ASSERT_TRUE(std::memcmp(&m->_11, &x, 4) == 0) << std::hexfloat << fovy << " " << m->_11;
    }
  };
  // Both sides of every range boundary a faster path could have: tiny
  // angles, a quarter turn of half angle, 135 degrees of half angle.
  for (float f : {0x1p-130f, 0x1p-119f, 0x1p-118f, 0x1p-59f, 1e-10f, 0.785398185f, 1.57079637f,
                  1.57079625f, 3.14159274f, 4.69999981f, 4.70000029f, 6.28318548f, 100.0f, -0.9f,
                  0.0f, -0.0f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
    for (float g : {f, std::nextafter(f, 0.0f), std::nextafter(f, 10.0f)}) expect_scale(g, 1.5f);
  }
  // Every field of view a camera uses, densely, and random floats of any size.
  for (float fovy = 1e-3f; fovy < 4.72f; fovy += 3.7e-5f) expect_scale(fovy, 4.0f / 3.0f);
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> aspect(0.2f, 5.0f);
  for (int i = 0; i < 100000; ++i) {
    const std::uint32_t bits = rng();
    float fovy;
    std::memcpy(&fovy, &bits, 4);
    expect_scale(fovy, aspect(rng));
  }
}

TEST(Perspective, OffCenterSendsTheNearCornersToTheClipSquare) {
  const float l = -1.5f, r = 3.0f, b = -0.5f, t = 2.0f, zn = 0.5f, zf = 40.0f;
  KMMATRIX lh, rh;
  EXPECT_EQ(KMMatrixPerspectiveOffCenterLH(&lh, l, r, b, t, zn, zf), &lh);
  EXPECT_EQ(KMMatrixPerspectiveOffCenterRH(&rh, l, r, b, t, zn, zf), &rh);
  ExpectPoint(Apply(lh, l, b, zn), -1, -1, 0);
  ExpectPoint(Apply(lh, r, t, zn), 1, 1, 0);
  ExpectPoint(Apply(lh, r * zf / zn, b * zf / zn, zf), 1, -1, 1, 1e-4);
  ExpectPoint(Apply(rh, l, t, -zn), -1, 1, 0);
  ExpectPoint(Apply(rh, l * zf / zn, b * zf / zn, -zf), -1, -1, 1, 1e-4);
  EXPECT_EQ(lh._44, 0.0f);
  EXPECT_EQ(rh._34, -1.0f);
  EXPECT_EQ(rh._31, -lh._31);
  EXPECT_EQ(rh._32, -lh._32);
  // A symmetric volume gives the plain builder.
  KMMATRIX plain, centred;
  KMMatrixPerspectiveLH(&plain, 4, 2, zn, zf);
  KMMatrixPerspectiveOffCenterLH(&centred, -2, 2, -1, 1, zn, zf);
  for (int e = 0; e < 16; ++e) EXPECT_EQ(centred.m[e / 4][e % 4], plain.m[e / 4][e % 4]) << e;
}

TEST(Ortho, VolumesMapToTheUnitCube) {
  KMMATRIX m;
  EXPECT_EQ(KMMatrixOrthoLH(&m, 8, 4, 1, 21), &m);
  ExpectMatrix(m, {0.25f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.05f, 0, 0, 0, -0.05f, 1});
  EXPECT_EQ(KMMatrixOrthoRH(&m, 8, 4, 1, 21), &m);
  ExpectMatrix(m, {0.25f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, -0.05f, 0, 0, 0, -0.05f, 1});
  ExpectPoint(Apply(m, 4, -2, -1), 1, -1, 0);
  ExpectPoint(Apply(m, -4, 2, -21), -1, 1, 1);

  const float l = -3, r = 5, b = 1, t = 2.5f, zn = -2, zf = 6;
  EXPECT_EQ(KMMatrixOrthoOffCenterLH(&m, l, r, b, t, zn, zf), &m);
  ExpectPoint(Apply(m, l, b, zn), -1, -1, 0);
  ExpectPoint(Apply(m, r, t, zf), 1, 1, 1);
  EXPECT_EQ(m._34, 0.0f);
  EXPECT_EQ(KMMatrixOrthoOffCenterRH(&m, l, r, b, t, zn, zf), &m);
  ExpectPoint(Apply(m, l, t, -zn), -1, 1, 0);
  ExpectPoint(Apply(m, r, b, -zf), 1, -1, 1);
}

TEST(Ortho, UnitOffCenterVolumeIsTheIdentity) {
  KMMATRIX m;
  KMMatrixOrthoOffCenterLH(&m, -1, 1, -1, 1, 0, 1);
  ExpectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  EXPECT_TRUE(std::signbit(m._41));
  EXPECT_TRUE(std::signbit(m._42));
}

TEST(Ortho, DegenerateDepthRangeWritesInfinitiesAndReturns) {
  KMMATRIX m;
  EXPECT_EQ(KMMatrixOrthoLH(&m, 2, 2, 3, 3), &m);
  EXPECT_TRUE(std::isinf(m._33));
  EXPECT_TRUE(std::isinf(m._43));
  EXPECT_EQ(m._44, 1.0f);
  EXPECT_EQ(KMMatrixPerspectiveLH(&m, 2, 2, 3, 3), &m);
  EXPECT_FALSE(std::isfinite(m._33));
}

}  // namespace
