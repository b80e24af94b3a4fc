// Projection to a viewport and back: the listed mappings, the order in which
// the matrices combine, round trips, array forms against single forms, and
// the defined result for a singular matrix.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr KMVIEWPORT kScreen = {0, 0, 640, 480, 0.0f, 1.0f};

void ExpectNear(const KMVECTOR3& a, const KMVECTOR3& b, double tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

struct Scene {
  KMMATRIX world, view, projection;
};

Scene MakeScene() {
  Scene s;
  KMMATRIX turn, shift;
  KMMatrixRotationYawPitchRoll(&turn, 0.4f, -0.3f, 0.2f);
  KMMatrixTranslation(&shift, 1.0f, -2.0f, 0.5f);
  KMMatrixMultiply(&s.world, &turn, &shift);
  const KMVECTOR3 eye(2, 3, -10), at(0, 0, 0), up(0, 1, 0);
  KMMatrixLookAtLH(&s.view, &eye, &at, &up);
  KMMatrixPerspectiveFovLH(&s.projection, 0.9f, 4.0f / 3.0f, 1.0f, 100.0f);
  return s;
}

// v x m with the division by w, in double.
KMVECTOR3 Through(const KMVECTOR3& v, const KMMATRIX& m) {
  double r[4];
  for (int c = 0; c < 4; ++c) {
    r[c] = double{v.x} * m.m[0][c] + double{v.y} * m.m[1][c] + double{v.z} * m.m[2][c] + m.m[3][c];
  }
  return KMVECTOR3(static_cast<float>(r[0] / r[3]), static_cast<float>(r[1] / r[3]),
                   static_cast<float>(r[2] / r[3]));
}

TEST(Project, ListedViewportMappings) {
  const KMVECTOR3 centre(0, 0, 0), corner(-1, 1, 1), any(0.25f, -3.5f, 7.0f);
  KMVECTOR3 out;
  EXPECT_EQ(KMVec3Project(&out, &centre, &kScreen, nullptr, nullptr, nullptr), &out);
  ExpectNear(out, KMVECTOR3(320, 240, 0), 0);
  KMVec3Project(&out, &corner, &kScreen, nullptr, nullptr, nullptr);
  ExpectNear(out, KMVECTOR3(0, 0, 1), 0);
  KMVec3Project(&out, &any, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(std::memcmp(&out, &any, sizeof out), 0);
}

TEST(Project, ViewportFieldsAreUnsigned) {
  const KMVIEWPORT far_away = {0x80000000u, 0xfffffff0u, 2, 2, 0.5f, 0.75f};
  const KMVECTOR3 centre(0, 0, 1);
  KMVECTOR3 out;
  KMVec3Project(&out, &centre, &far_away, nullptr, nullptr, nullptr);
  EXPECT_EQ(out.x, 2147483649.0f);
  EXPECT_EQ(out.y, static_cast<float>(0xfffffff0u + 1.0));
  EXPECT_EQ(out.z, 0.75f);
}

TEST(Project, CombinesWorldThenViewThenProjection) {
  const Scene s = MakeScene();
  const KMVECTOR3 v(0.3f, -0.7f, 1.1f);
  for (int mask = 0; mask < 8; ++mask) {
    const KMMATRIX* world = mask & 1 ? &s.world : nullptr;
    const KMMATRIX* view = mask & 2 ? &s.view : nullptr;
    const KMMATRIX* projection = mask & 4 ? &s.projection : nullptr;
    KMVECTOR3 expected = v;
    for (const KMMATRIX* m : {world, view, projection}) {
      if (m) expected = Through(expected, *m);
    }
    KMVECTOR3 out;
    KMVec3Project(&out, &v, nullptr, projection, view, world);
    ExpectNear(out, expected, 1e-4 * (1 + std::fabs(expected.z)));
  }
}

TEST(Unproject, ReturnsTheProjectedPointForEveryCombination) {
  const Scene s = MakeScene();
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(-2.0f, 2.0f);
  const KMVIEWPORT viewport = {10, 20, 800, 600, 0.1f, 0.9f};
  for (int mask = 0; mask < 16; ++mask) {
    const KMMATRIX* world = mask & 1 ? &s.world : nullptr;
    const KMMATRIX* view = mask & 2 ? &s.view : nullptr;
    const KMMATRIX* projection = mask & 4 ? &s.projection : nullptr;
    const KMVIEWPORT* port = mask & 8 ? &viewport : nullptr;
    for (int i = 0; i < 20; ++i) {
      const KMVECTOR3 v(d(rng), d(rng), d(rng));
      KMVECTOR3 screen, back;
      KMVec3Project(&screen, &v, port, projection, view, world);
      EXPECT_EQ(KMVec3Unproject(&back, &screen, port, projection, view, world), &back);
      ExpectNear(back, v, 2e-4);
      // In place: out is v.
      KMVec3Unproject(&screen, &screen, port, projection, view, world);
      ExpectNear(screen, back, 0);
    }
  }
}

// Interleaved records: each point followed by a marker float that must
// survive.
struct Vertex {
  KMVECTOR3 p;
  float marker;
};

TEST(ProjectArrays, MatchTheSingleFormsAndTouchOnlyTheirElements) {
  const Scene s = MakeScene();
  std::mt19937 rng(66);
  std::uniform_real_distribution<float> d(-3.0f, 3.0f);
  constexpr uint32_t kCount = 9;
  std::vector<KMVECTOR3> in(kCount);
  for (auto& v : in) v = KMVECTOR3(d(rng), d(rng), d(rng));
  for (int mask = 0; mask < 16; ++mask) {
    const KMMATRIX* world = mask & 1 ? &s.world : nullptr;
    const KMMATRIX* view = mask & 2 ? &s.view : nullptr;
    const KMMATRIX* projection = mask & 4 ? &s.projection : nullptr;
    const KMVIEWPORT* port = mask & 8 ? &kScreen : nullptr;
    std::vector<Vertex> projected(kCount + 1, Vertex{KMVECTOR3(7, 7, 7), -1.0f});
    std::vector<Vertex> unprojected(kCount + 1, Vertex{KMVECTOR3(7, 7, 7), -1.0f});
    EXPECT_EQ(KMVec3ProjectArray(&projected[0].p, sizeof(Vertex), in.data(), sizeof(KMVECTOR3),
                                 port, projection, view, world, kCount),
              &projected[0].p);
    EXPECT_EQ(KMVec3UnprojectArray(&unprojected[0].p, sizeof(Vertex), &projected[0].p,
                                   sizeof(Vertex), port, projection, view, world, kCount),
              &unprojected[0].p);
    for (uint32_t i = 0; i < kCount; ++i) {
      KMVECTOR3 single;
      KMVec3Project(&single, &in[i], port, projection, view, world);
      const double scale = port ? 640 : 1;
      ExpectNear(projected[i].p, single, 2e-5 * scale);
      KMVec3Unproject(&single, &projected[i].p, port, projection, view, world);
      ExpectNear(unprojected[i].p, single, 2e-4);
      ExpectNear(unprojected[i].p, in[i], 2e-4);
      EXPECT_EQ(projected[i].marker, -1.0f);
      EXPECT_EQ(unprojected[i].marker, -1.0f);
    }
    ExpectNear(projected[kCount].p, KMVECTOR3(7, 7, 7), 0);
    ExpectNear(unprojected[kCount].p, KMVECTOR3(7, 7, 7), 0);
  }
}

TEST(ProjectArrays, CountZeroWritesNothingAndInPlaceWorks) {
  const Scene s = MakeScene();
  KMVECTOR3 points[3] = {{0.5f, 0.5f, 0.5f}, {-1, 2, 0}, {1, 1, -1}};
  const KMVECTOR3 original[3] = {points[0], points[1], points[2]};
  EXPECT_EQ(
      KMVec3ProjectArray(points, 12, points, 12, &kScreen, &s.projection, &s.view, &s.world, 0),
      points);
  EXPECT_EQ(
      KMVec3UnprojectArray(points, 12, points, 12, &kScreen, &s.projection, &s.view, &s.world, 0),
      points);
  EXPECT_EQ(std::memcmp(points, original, sizeof points), 0);
  KMVec3ProjectArray(points, 12, points, 12, &kScreen, &s.projection, &s.view, &s.world, 3);
  KMVec3UnprojectArray(points, 12, points, 12, &kScreen, &s.projection, &s.view, &s.world, 3);
  for (int i = 0; i < 3; ++i) ExpectNear(points[i], original[i], 2e-4);
}

TEST(Unproject, ASingularMatrixIsUsedUninverted) {
  KMMATRIX flat;
  KMMatrixScaling(&flat, 2.0f, 3.0f, 0.0f);
  flat._41 = 1.0f;
  KMMATRIX shift;
  KMMatrixTranslation(&shift, 0, 0, 4);
  const KMVECTOR3 v(0.25f, 0.5f, 0.75f);
  KMVECTOR3 expected;
  // One matrix, in each position: the inversion writes nothing, and the
  // result is the transform by the matrix itself, never stale memory.
  KMVec3TransformCoord(&expected, &v, &flat);
  for (int position = 0; position < 3; ++position) {
    KMVECTOR3 out(99, 99, 99), array_out(99, 99, 99);
    const KMMATRIX* m[3] = {nullptr, nullptr, nullptr};
    m[position] = &flat;
    KMVec3Unproject(&out, &v, nullptr, m[0], m[1], m[2]);
    KMVec3UnprojectArray(&array_out, 12, &v, 12, nullptr, m[0], m[1], m[2], 1);
    ExpectNear(out, expected, 0);
    ExpectNear(array_out, expected, 0);
  }
  // A singular product stays the uninverted product.
  KMMATRIX product;
  KMMatrixMultiply(&product, &flat, &shift);
  KMVec3TransformCoord(&expected, &v, &product);
  KMVECTOR3 out;
  KMVec3Unproject(&out, &v, nullptr, &shift, nullptr, &flat);
  ExpectNear(out, expected, 0);
}

TEST(Unproject, DegenerateViewportGivesIeeeResults) {
  const KMVIEWPORT empty = {0, 0, 0, 480, 0.5f, 0.5f};
  const KMVECTOR3 v(3, 4, 0.5f);
  KMVECTOR3 out;
  EXPECT_EQ(KMVec3Unproject(&out, &v, &empty, nullptr, nullptr, nullptr), &out);
  // 0 / 0 in depth spreads through the transform.
  EXPECT_FALSE(std::isfinite(out.x));
  EXPECT_TRUE(std::isnan(out.z));
  EXPECT_EQ(KMVec3UnprojectArray(&out, 12, &v, 12, &empty, nullptr, nullptr, nullptr, 1), &out);
  EXPECT_FALSE(std::isfinite(out.x));
}

}  // namespace
