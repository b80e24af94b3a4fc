// The SSE and SSE2 families: their documented differences from the reference
// (each shown as a difference), exact edge results, aliasing, aligned and
// unaligned matrices.
#include <gtest/gtest.h>
#include <kubik/kmath.h>
#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <string>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse2/family.h"
#include "tests/math/family_test_support.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

using kubik::testing::SameBits;

bool AllFinite(const float* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(p[i])) return false;
  }
  return true;
}

// One Newton step on the hardware estimates, as the families take them.
float RefinedReciprocalSqrt3(float x) {
  const float y0 = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
  return (3.0f - y0 * x * y0) * (y0 * 0.5f);
}

float TransformReciprocal(float x) {
  const float r0 = _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x)));
  return (r0 + r0) - (r0 * r0) * x;
}

KMMATRIX Sample(std::mt19937& random) {
  std::uniform_real_distribution<float> value(-2.0f, 2.0f);
  KMMATRIX m;
  for (auto& row : m.m) {
    for (float& x : row) x = value(random);
  }
  return m;
}

// A table filled by one family, as the selection would fill it.
class Family : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const kubik::ImplementationFamily* family = kubik::FindImplementationFamily(GetParam());
    ASSERT_NE(family, nullptr);
    if (!family->can_run(kubik::RealProcessor())) GTEST_SKIP() << GetParam() << " cannot run here";
    family->install(table_, kubik::RealProcessor());
  }
  bool IsSse() const { return std::string(GetParam()) == "sse"; }

  OperationTable table_;
};

INSTANTIATE_TEST_SUITE_P(SseAndSse2, Family, ::testing::Values("sse", "sse2"),
                         [](const auto& info) { return std::string(info.param); });

// ---- Normalisation ----------------------------------------------------------

TEST_P(Family, Vec3NormalizeZeroThresholdIsTwoToTheMinus46) {
  const auto normalize = table_.Get<Slot::KMVec3Normalize>();
  KMVECTOR3 out;
  // 1e-16 is below 2^-46: zero here, a unit vector in the reference.
  const KMVECTOR3 tiny(1e-8f, 0, 0);
  normalize(&out, &tiny);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
  KMVECTOR3 want;
  kubik::reference::KMVec3Normalize(&want, &tiny);
  EXPECT_EQ(want.x, 1.0f);

  // Exactly 2^-46 is kept; the next float below is not.
  const KMVECTOR3 at_guard(std::ldexp(1.0f, -23), 0, 0);
  normalize(&out, &at_guard);
  EXPECT_NEAR(out.x, 1.0f, 0x1p-22);
  const KMVECTOR3 below_guard(std::nextafter(std::ldexp(1.0f, -23), 0.0f), 0, 0);
  normalize(&out, &below_guard);
  EXPECT_EQ(out.x, 0.0f);

  const KMVECTOR3 nan(std::nanf(""), 1, 0);
  normalize(&out, &nan);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));

  const KMVECTOR3 v(3, 4, 0);
  normalize(&out, &v);
  EXPECT_NEAR(out.x, 0.6f, 0.6f * 0x1p-22);
  EXPECT_NEAR(out.y, 0.8f, 0.8f * 0x1p-22);
  EXPECT_EQ(out.z, 0.0f);
}

TEST_P(Family, NormalizersHaveNoUnitLengthShortcut) {
  // The reference copies a unit-length input untouched; these multiply it by
  // the refined reciprocal square root of its squared length.
  const KMVECTOR3 unit3(1, 0, 0);
  KMVECTOR3 out3;
  table_.Get<Slot::KMVec3Normalize>()(&out3, &unit3);
  EXPECT_TRUE(SameBits(out3.x, RefinedReciprocalSqrt3(1.0f)));
  kubik::reference::KMVec3Normalize(&out3, &unit3);
  EXPECT_TRUE(SameBits(out3, unit3));

  const KMPLANE plane(0, 1, 0, 5);
  KMPLANE out_plane;
  table_.Get<Slot::KMPlaneNormalize>()(&out_plane, &plane);
  const float k = RefinedReciprocalSqrt3(1.0f);
  EXPECT_TRUE(SameBits(out_plane.b, k));
  EXPECT_TRUE(SameBits(out_plane.d, 5.0f * k));
}

TEST_P(Family, PlaneNormalizeZeroesAllFourBelowTheGuard) {
  const KMPLANE tiny(1e-8f, 0, 0, 7);
  KMPLANE out;
  table_.Get<Slot::KMPlaneNormalize>()(&out, &tiny);
  EXPECT_TRUE(SameBits(out, KMPLANE(0, 0, 0, 0)));
  kubik::reference::KMPlaneNormalize(&out, &tiny);
  EXPECT_EQ(out.a, 1.0f);

  const KMPLANE plane(0, 0, 2, 4);
  table_.Get<Slot::KMPlaneNormalize>()(&out, &plane);
  EXPECT_NEAR(out.c, 1.0f, 0x1p-22);
  EXPECT_NEAR(out.d, 2.0f, 0x1p-21);
}

TEST_P(Family, FourComponentNormalizersGiveZeroForZeroAsTheReferenceDoes) {
  const KMVECTOR4 zero(0, 0, 0, 0);
  KMVECTOR4 out;
  table_.Get<Slot::KMVec4Normalize>()(&out, &zero);
  EXPECT_TRUE(SameBits(out, zero));
  kubik::reference::KMVec4Normalize(&out, &zero);
  EXPECT_TRUE(SameBits(out, zero));

  const KMQUATERNION q(0, 0, 0, 0);
  KMQUATERNION out_q;
  table_.Get<Slot::KMQuaternionNormalize>()(&out_q, &q);
  EXPECT_TRUE(AllFinite(&out_q.x, 4));
  EXPECT_EQ(out_q, q);

  const KMQUATERNION two(0, 0, 0, 2);
  table_.Get<Slot::KMQuaternionNormalize>()(&out_q, &two);
  EXPECT_NEAR(out_q.w, 1.0f, 0x1p-22);
  const KMVECTOR4 v(1, 2, 2, 4);  // length 5
  table_.Get<Slot::KMVec4Normalize>()(&out, &v);
  EXPECT_NEAR(out.w, 0.8f, 0x1p-22);
}

// ---- Inverse and determinant ------------------------------------------------

TEST_P(Family, InverseOfZeroRowWritesNeitherOutputNorDeterminant) {
  KMMATRIX m(1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3);
  KMMATRIX out;
  std::memset(&out, 0x5a, sizeof out);
  const KMMATRIX before = out;
  float determinant = 42.0f;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &m), nullptr);
  EXPECT_TRUE(SameBits(out, before));
  EXPECT_EQ(determinant, 42.0f);
  // The reference stores the determinant before it gives up.
  EXPECT_EQ(kubik::reference::KMMatrixInverse(&out, &determinant, &m), nullptr);
  EXPECT_EQ(determinant, 0.0f);

  m._11 = std::nanf("");
  determinant = 42.0f;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &m), nullptr);
  EXPECT_EQ(determinant, 42.0f);
}

TEST_P(Family, InverseWithoutFiniteReciprocalFails) {
  // det about 1e-39: its reciprocal does not fit a float. Returning a matrix
  // of NaNs would report a failure as success.
  const KMMATRIX m(1e-13f, 0, 0, 0, 0, 1e-13f, 0, 0, 0, 0, 1e-13f, 0, 0, 0, 0, 1);
  KMMATRIX out;
  std::memset(&out, 0x5a, sizeof out);
  const KMMATRIX before = out;
  float determinant = 0;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &m), nullptr);
  EXPECT_TRUE(SameBits(out, before));
  EXPECT_NE(determinant, 0.0f);

  // A determinant of 1e-20 still inverts.
  const KMMATRIX small(1e-5f, 0, 0, 0, 0, 1e-5f, 0, 0, 0, 0, 1e-5f, 0, 0, 0, 0, 1e-5f);
  ASSERT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &small), &out);
  EXPECT_NEAR(out._11, 1e5f, 1e5f * 0x1p-21);
  EXPECT_NEAR(out._44, 1e5f, 1e5f * 0x1p-21);
}

TEST_P(Family, InverseOfIdentityInPlaceAndWithoutDeterminantPointer) {
  KMMATRIX m(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  float determinant = 0;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&m, &determinant, &m), &m);
  EXPECT_EQ(determinant, 1.0f);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, 0x1p-22);
  }

  std::mt19937 random(7);
  const KMMATRIX a = Sample(random);
  KMMATRIX separate, in_place = a, product;
  ASSERT_NE(table_.Get<Slot::KMMatrixInverse>()(&separate, nullptr, &a), nullptr);
  table_.Get<Slot::KMMatrixInverse>()(&in_place, nullptr, &in_place);
  EXPECT_TRUE(SameBits(separate, in_place));
  kubik::reference::KMMatrixMultiply(&product, &a, &separate);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-4);
  }
}

// ---- Quaternions ------------------------------------------------------------

TEST_P(Family, OnlyTheSseQuaternionInverseLacksTheGuard) {
  const KMQUATERNION q(0, 0, 0, 2);
  KMQUATERNION out;
  table_.Get<Slot::KMQuaternionInverse>()(&out, &q);
  EXPECT_EQ(out.x, -0.0f);
  EXPECT_NEAR(out.w, 0.5f, 0.5f * 0x1p-22);
  // No guard: a small quaternion inverts to a large one where the reference
  // gives zero.
  const KMQUATERNION tiny(1e-10f, 0, 0, 0);
  const KMQUATERNION small(1e-9f, 0, 0, 0);
  table_.Get<Slot::KMQuaternionInverse>()(&out, &tiny);
  if (IsSse()) {
    EXPECT_NE(out.x, 0.0f);
    table_.Get<Slot::KMQuaternionInverse>()(&out, &small);
    EXPECT_NEAR(out.x, -1e9f, 1e9f * 0x1p-21);
  } else {
    EXPECT_TRUE(SameBits(out, KMQUATERNION(0, 0, 0, 0)));
    table_.Get<Slot::KMQuaternionInverse>()(&out, &q);
    EXPECT_TRUE(SameBits(out, KMQUATERNION(-0.0f, -0.0f, -0.0f, 0.5f)));
  }
}

TEST_P(Family, YawPitchRollFollowsTheKernel) {
  KMQUATERNION out;
  table_.Get<Slot::KMQuaternionRotationYawPitchRoll>()(&out, std::numbers::pi_v<float> / 2, 0, 0);
  EXPECT_NEAR(out.x, 0.0f, 1e-7);
  EXPECT_NEAR(out.y, std::sin(std::numbers::pi / 4), 2e-7);
  EXPECT_NEAR(out.z, 0.0f, 1e-7);
  EXPECT_NEAR(out.w, std::cos(std::numbers::pi / 4), 2e-7);

  std::mt19937 random(11);
  std::uniform_real_distribution<float> angle(-10.0f, 10.0f);
  for (int n = 0; n < 1000; ++n) {
    const float yaw = angle(random), pitch = angle(random), roll = angle(random);
    KMQUATERNION want;
    kubik::reference::KMQuaternionRotationYawPitchRoll(&want, yaw, pitch, roll);
    table_.Get<Slot::KMQuaternionRotationYawPitchRoll>()(&out, yaw, pitch, roll);
    // Kernel error (about 1e-7 per sine or cosine) times three factors.
    EXPECT_NEAR(out.x, want.x, 5e-7);
    EXPECT_NEAR(out.y, want.y, 5e-7);
    EXPECT_NEAR(out.z, want.z, 5e-7);
    EXPECT_NEAR(out.w, want.w, 5e-7);
  }
}

TEST(SseFamilies, Sse2YawPitchRollUsesItsOwnKernelWithTheSameResults) {
  OperationTable sse, sse2;
  kubik::FindImplementationFamily("sse")->install(sse, kubik::RealProcessor());
  kubik::FindImplementationFamily("sse2")->install(sse2, kubik::RealProcessor());
  EXPECT_NE(sse.Get<Slot::KMQuaternionRotationYawPitchRoll>(),
            sse2.Get<Slot::KMQuaternionRotationYawPitchRoll>());
  std::mt19937 random(5);
  std::uniform_real_distribution<float> angle(-100.0f, 100.0f);
  for (int n = 0; n < 10000; ++n) {
    const float yaw = angle(random), pitch = angle(random), roll = angle(random);
    KMQUATERNION a, b;
    sse.Get<Slot::KMQuaternionRotationYawPitchRoll>()(&a, yaw, pitch, roll);
    sse2.Get<Slot::KMQuaternionRotationYawPitchRoll>()(&b, yaw, pitch, roll);
    ASSERT_TRUE(SameBits(a, b)) << yaw << " " << pitch << " " << roll;
  }
}

TEST_P(Family, QuaternionFromMatrixTakesTheReferenceBranches) {
  const auto from_matrix = table_.Get<Slot::KMQuaternionRotationMatrix>();
  KMQUATERNION out;
  const KMMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  from_matrix(&out, &identity);
  EXPECT_TRUE(SameBits(out, KMQUATERNION(0, 0, 0, 1)));
  const KMMATRIX half_turn_x(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1);
  from_matrix(&out, &half_turn_x);
  EXPECT_TRUE(SameBits(out, KMQUATERNION(1, 0, 0, 0)));
  const KMMATRIX half_turn_z(-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  from_matrix(&out, &half_turn_z);
  EXPECT_TRUE(SameBits(out, KMQUATERNION(0, 0, 1, 0)));
  // A trace of exactly 0 takes the diagonal branch, as in the reference.
  KMMATRIX zero_trace;
  KMQUATERNION want;
  const KMQUATERNION q(0.5f, 0.5f, 0.5f, 0.5f);
  kubik::reference::KMMatrixRotationQuaternion(&zero_trace, &q);
  from_matrix(&out, &zero_trace);
  kubik::reference::KMQuaternionRotationMatrix(&want, &zero_trace);
  EXPECT_TRUE(SameBits(out, want));
}

// ---- Transforms -------------------------------------------------------------

TEST_P(Family, TransformCoordAlwaysMultipliesByTheRefinedReciprocal) {
  // The reference skips the division when w is 1; these never do.
  const KMMATRIX translate(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1);
  const KMVECTOR3 v(1, 2, 3);
  KMVECTOR3 out;
  table_.Get<Slot::KMVec3TransformCoord>()(&out, &v, &translate);
  const float r = TransformReciprocal(1.0f);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(11 * r, 22 * r, 33 * r)));

  const KMVECTOR2 v2(1, 2);
  KMVECTOR2 out2;
  table_.Get<Slot::KMVec2TransformCoord>()(&out2, &v2, &translate);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(11 * r, 22 * r)));

  // w = 2 halves the point, within the reciprocal's error.
  const KMMATRIX doubling(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2);
  table_.Get<Slot::KMVec3TransformCoord>()(&out, &v, &doubling);
  EXPECT_NEAR(out.z, 1.5f, 1.5f * 0x1p-21);

  // w = 0: the reciprocal has no zero test; nothing finite comes out.
  const KMMATRIX flat(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0);
  table_.Get<Slot::KMVec3TransformCoord>()(&out, &v, &flat);
  EXPECT_FALSE(AllFinite(&out.x, 3));
}

// Every routine that tests the matrix address gives the same bits on an
// aligned and on an unaligned copy of the matrix.
TEST_P(Family, AlignedAndUnalignedMatricesGiveIdenticalResults) {
  alignas(16) unsigned char storage[sizeof(KMMATRIX) + 16];
  std::mt19937 random(9);
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  for (int n = 0; n < 100; ++n) {
    const KMMATRIX m = Sample(random);
    const KMVECTOR4 v(value(random), value(random), value(random), value(random));
    const KMVECTOR3 v3(v.x, v.y, v.z);
    const KMPLANE plane(v.x, v.y, v.z, v.w);
    KMVECTOR4 t3[2], t4[2];
    KMVECTOR3 normal[2], coord[2];
    KMPLANE planes[2];
    float det[2];
    for (int variant = 0; variant < 2; ++variant) {
      KMMATRIX* copy = reinterpret_cast<KMMATRIX*>(storage + (variant ? 8 : 0));
      std::memcpy(copy, &m, sizeof m);
      table_.Get<Slot::KMVec3Transform>()(&t3[variant], &v3, copy);
      table_.Get<Slot::KMVec4Transform>()(&t4[variant], &v, copy);
      table_.Get<Slot::KMVec3TransformNormal>()(&normal[variant], &v3, copy);
      table_.Get<Slot::KMVec3TransformCoord>()(&coord[variant], &v3, copy);
      table_.Get<Slot::KMPlaneTransform>()(&planes[variant], &plane, copy);
      det[variant] = table_.Get<Slot::KMMatrixDeterminant>()(copy);
    }
    EXPECT_TRUE(SameBits(t3[0], t3[1]));
    EXPECT_TRUE(SameBits(t4[0], t4[1]));
    EXPECT_TRUE(SameBits(normal[0], normal[1]));
    EXPECT_TRUE(SameBits(coord[0], coord[1]));
    EXPECT_TRUE(SameBits(planes[0], planes[1]));
    EXPECT_TRUE(SameBits(det[0], det[1]));
    // The plane transform is the 4-vector transform.
    EXPECT_EQ(std::memcmp(&planes[0], &t4[0], 16), 0);
  }
}

// ---- Splines ----------------------------------------------------------------

TEST_P(Family, SplinesPassExactlyThroughTheirEndPoints) {
  const KMVECTOR3 p[4] = {
      {1.5f, -2.25f, 3.1f}, {0.3f, 7.7f, -1.9f}, {-4.4f, 0.6f, 2.2f}, {9.1f, -0.2f, 5.5f}};
  KMVECTOR3 out;
  table_.Get<Slot::KMVec3Hermite>()(&out, &p[0], &p[1], &p[2], &p[3], 0.0f);
  EXPECT_TRUE(SameBits(out, p[0]));
  table_.Get<Slot::KMVec3Hermite>()(&out, &p[0], &p[1], &p[2], &p[3], 1.0f);
  EXPECT_TRUE(SameBits(out, p[2]));
  table_.Get<Slot::KMVec3CatmullRom>()(&out, &p[0], &p[1], &p[2], &p[3], 0.0f);
  EXPECT_TRUE(SameBits(out, p[1]));
  table_.Get<Slot::KMVec3CatmullRom>()(&out, &p[0], &p[1], &p[2], &p[3], 1.0f);
  EXPECT_TRUE(SameBits(out, p[2]));

  const KMVECTOR2 q[4] = {{1.5f, -2.25f}, {0.3f, 7.7f}, {-4.4f, 0.6f}, {9.1f, -0.2f}};
  KMVECTOR2 out2;
  table_.Get<Slot::KMVec2Hermite>()(&out2, &q[0], &q[1], &q[2], &q[3], 1.0f);
  EXPECT_TRUE(SameBits(out2, q[2]));
  table_.Get<Slot::KMVec2CatmullRom>()(&out2, &q[0], &q[1], &q[2], &q[3], 0.0f);
  EXPECT_TRUE(SameBits(out2, q[1]));

  const KMVECTOR4 r[4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {-1, -2, -3, -4}, {0.5f, 0.25f, 2, 8}};
  KMVECTOR4 out4;
  table_.Get<Slot::KMVec4Hermite>()(&out4, &r[0], &r[1], &r[2], &r[3], 0.0f);
  EXPECT_TRUE(SameBits(out4, r[0]));
  table_.Get<Slot::KMVec4CatmullRom>()(&out4, &r[0], &r[1], &r[2], &r[3], 1.0f);
  EXPECT_TRUE(SameBits(out4, r[2]));

  // Barycentric corners (V1 + (V2 - V1) rounds, so within a unit or so) and
  // the output aliasing an input.
  table_.Get<Slot::KMVec3BaryCentric>()(&out, &p[0], &p[1], &p[2], 1.0f, 0.0f);
  EXPECT_NEAR(out.x, p[1].x, 1e-6f);
  EXPECT_NEAR(out.y, p[1].y, 1e-6f);
  EXPECT_NEAR(out.z, p[1].z, 1e-6f);
  table_.Get<Slot::KMVec3BaryCentric>()(&out, &p[0], &p[1], &p[2], 0.0f, 0.0f);
  EXPECT_TRUE(SameBits(out, p[0]));
  KMVECTOR3 alias = p[0], separate;
  table_.Get<Slot::KMVec3BaryCentric>()(&separate, &p[0], &p[1], &p[2], 0.25f, 0.5f);
  table_.Get<Slot::KMVec3BaryCentric>()(&alias, &alias, &p[1], &p[2], 0.25f, 0.5f);
  EXPECT_TRUE(SameBits(alias, separate));
}

TEST_P(Family, Vec4CrossOfTheFirstThreeAxes) {
  const KMVECTOR4 x(1, 0, 0, 0), y(0, 1, 0, 0), z(0, 0, 1, 0);
  KMVECTOR4 out;
  table_.Get<Slot::KMVec4Cross>()(&out, &x, &y, &z);
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.z, 0.0f);
  EXPECT_EQ(out.w, -1.0f);
}

// ---- Planes and the plane builders ------------------------------------------

TEST_P(Family, IntersectLineHasNoFiniteTestOnT) {
  const auto intersect = table_.Get<Slot::KMPlaneIntersectLine>();
  const KMPLANE z1(0, 0, 1, -1);
  const KMVECTOR3 a(0, 0, 0), b(0, 0, 2), c(0, 0, 3), d(0, 0, 5), e(1, 0, 0);
  KMVECTOR3 out;
  ASSERT_EQ(intersect(&out, &z1, &a, &b), &out);
  EXPECT_NEAR(out.z, 1.0f, 0x1p-21);
  ASSERT_EQ(intersect(&out, &z1, &c, &d), &out);
  EXPECT_NEAR(out.z, 1.0f, 0x1p-20);
  out = KMVECTOR3(7, 7, 7);
  EXPECT_EQ(intersect(&out, &z1, &a, &e), nullptr);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(7, 7, 7)));

  // A denominator of 1e-30 with a numerator of 1e10: t overflows. The
  // reference reports no intersection; these return the non-finite point.
  const KMPLANE far(0, 0, 1, 1e10f);
  const KMVECTOR3 p(0, 0, 0), q(0, 0, -1e-30f);
  EXPECT_EQ(kubik::reference::KMPlaneIntersectLine(&out, &far, &p, &q), nullptr);
  ASSERT_EQ(intersect(&out, &far, &p, &q), &out);
  EXPECT_FALSE(AllFinite(&out.x, 3));
}

TEST_P(Family, PlaneFromPointsAndTheNormalisedBuilders) {
  const KMVECTOR3 o(0, 0, 0), x(1, 0, 0), y(0, 1, 0);
  KMPLANE plane;
  table_.Get<Slot::KMPlaneFromPoints>()(&plane, &o, &x, &y);
  EXPECT_NEAR(plane.c, 1.0f, 0x1p-22);
  EXPECT_EQ(plane.a, 0.0f);
  EXPECT_EQ(plane.d, 0.0f);
  table_.Get<Slot::KMPlaneFromPoints>()(&plane, &o, &y, &x);
  EXPECT_NEAR(plane.c, -1.0f, 0x1p-22);
  // Collinear points keep the zero normal, as in the reference, instead of
  // scaling it by the estimate's infinity.
  const KMVECTOR3 twice_x(2, 0, 0);
  table_.Get<Slot::KMPlaneFromPoints>()(&plane, &o, &x, &twice_x);
  KMPLANE want;
  kubik::reference::KMPlaneFromPoints(&want, &o, &x, &twice_x);
  EXPECT_TRUE(SameBits(plane, want));
  EXPECT_TRUE(SameBits(plane, KMPLANE(0, 0, 0, -0.0f)));

  const KMPLANE mirror(0, 2, 0, 0);
  KMMATRIX m;
  table_.Get<Slot::KMMatrixReflect>()(&m, &mirror);
  const float diagonal[4] = {1, -1, 1, 1};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], r == c ? diagonal[r] : 0.0f, 0x1p-20);
  }

  // Every point lands on the plane through the shadow matrix.
  const KMPLANE ground(0, 3, 0, 1.5f);  // y = -0.5
  const KMVECTOR4 light(1, 4, 2, 1);
  table_.Get<Slot::KMMatrixShadow>()(&m, &light, &ground);
  const KMVECTOR4 point(3, 7, -2, 1);
  KMVECTOR4 shadow;
  kubik::reference::KMVec4Transform(&shadow, &point, &m);
  EXPECT_NEAR(shadow.y / shadow.w, -0.5f, 1e-5);
}

}  // namespace
