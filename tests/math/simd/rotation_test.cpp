// Every family's rotation builders and spherical interpolation at the
// places their vector kernels split the work: angles on and beside the
// quadrant boundaries of either sign, zero angles (whose zeros must keep
// their sign), dot products near 1 (where the weights turn linear), near 0
// and negative (the shorter arc), and squad against the family's own slerps.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/math/family_test_support.h"

namespace {

using kubik::Slot;

class Rotation : public kubik::testing::FamilyTest {
 protected:
  void SetUp() override {
    FamilyTest::SetUp();
    // The composites (the reference's matrix through its quaternion, squad
    // through slerp) reach the family under test through the public entries.
    BindProcessTable();
  }
};

// Roll about z, then pitch about x, then yaw about y, for row vectors.
void ExpectedYawPitchRoll(double yaw, double pitch, double roll, double m[3][3]) {
  const double sy = std::sin(yaw), cy = std::cos(yaw), sp = std::sin(pitch), cp = std::cos(pitch),
               sr = std::sin(roll), cr = std::cos(roll);
  const double rows[3][3] = {{cr * cy + sr * sp * sy, sr * cp, sr * sp * cy - cr * sy},
                             {cr * sp * sy - sr * cy, cr * cp, sr * sy + cr * sp * cy},
                             {cp * sy, -sp, cp * cy}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m[r][c] = rows[r][c];
  }
}

std::vector<float> AnglesAroundQuadrants() {
  std::vector<float> angles;
  for (int k = -12; k <= 12; ++k) {
    const float boundary = static_cast<float>(k * std::numbers::pi / 4);
    for (float nudge : {-1e-3f, 0.0f, 1e-3f}) angles.push_back(boundary + nudge);
  }
  for (float far : {-97.3f, 250.5f, 999.0f}) angles.push_back(far);
  return angles;
}

TEST_P(Rotation, YawPitchRollMatrixAcrossQuadrants) {
  KMMATRIX m;
  table_.Get<Slot::KMMatrixRotationYawPitchRoll>()(&m, 0.0f, 0.0f, 0.0f);
  // The identity bit for bit: no element is -0.
  EXPECT_TRUE(kubik::testing::SameBits(m, kubik::testing::Identity()));

  const std::vector<float> angles = AnglesAroundQuadrants();
  for (std::size_t i = 0; i < angles.size(); ++i) {
    // Each angle in each role, against two others from the list.
    const float yaw = angles[i], pitch = angles[(i * 7 + 3) % angles.size()],
                roll = angles[(i * 13 + 5) % angles.size()];
    table_.Get<Slot::KMMatrixRotationYawPitchRoll>()(&m, yaw, pitch, roll);
    double want[3][3];
    ExpectedYawPitchRoll(yaw, pitch, roll, want);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(m.m[r][c], want[r][c], 1e-6) << yaw << " " << pitch << " " << roll;
      }
      EXPECT_EQ(m.m[r][3], 0.0f);
    }
    EXPECT_EQ(m.m[3][0], 0.0f);
    EXPECT_EQ(m.m[3][1], 0.0f);
    EXPECT_EQ(m.m[3][2], 0.0f);
    EXPECT_EQ(m.m[3][3], 1.0f);
  }
}

KMQUATERNION AboutY(double angle) {
  return KMQUATERNION(0, static_cast<float>(std::sin(angle / 2)), 0,
                      static_cast<float>(std::cos(angle / 2)));
}

// Between two rotations about y the slerp is the rotation by the
// interpolated angle, along the shorter arc whichever sign q2 has.
TEST_P(Rotation, SlerpFollowsTheShorterArcAtEveryAngle) {
  const auto slerp = table_.Get<Slot::KMQuaternionSlerp>();
  const KMQUATERNION start = AboutY(0.3);
  // Angles apart from nearly parallel (weights about to turn linear) to
  // nearly opposite (dot product near 0).
  for (double apart : {1e-3, 0.05, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.1}) {
    for (float t : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f, 1.5f, -0.5f}) {
      const KMQUATERNION end = AboutY(0.3 + apart);
      const KMQUATERNION negated(-end.x, -end.y, -end.z, -end.w);
      const KMQUATERNION want = AboutY(0.3 + t * apart);
      for (const KMQUATERNION* q2 : {&end, &negated}) {
        KMQUATERNION out;
        slerp(&out, &start, q2, t);
        EXPECT_NEAR(out.y, want.y, 1e-6) << apart << " " << t << " " << q2->w;
        EXPECT_NEAR(out.w, want.w, 1e-6) << apart << " " << t << " " << q2->w;
        EXPECT_EQ(out.x, 0.0f);
        EXPECT_EQ(out.z, 0.0f);
      }
    }
  }
}

TEST_P(Rotation, SquadIsItsThreeSlerps) {
  const auto slerp = table_.Get<Slot::KMQuaternionSlerp>();
  const auto squad = table_.Get<Slot::KMQuaternionSquad>();
  const KMQUATERNION q1 = AboutY(0.1), a = AboutY(-2.9), b = AboutY(1.4), c = AboutY(2.2);
  for (float t : {0.0f, 0.2f, 0.5f, 0.8f, 1.0f}) {
    KMQUATERNION outer, inner, want, out;
    slerp(&outer, &q1, &c, t);
    slerp(&inner, &a, &b, t);
    slerp(&want, &outer, &inner, 2.0f * t * (1.0f - t));
    squad(&out, &q1, &a, &b, &c, t);
    EXPECT_NEAR(out.y, want.y, 1e-6) << t;
    EXPECT_NEAR(out.w, want.w, 1e-6) << t;
  }
}

KUBIK_FOR_EVERY_FAMILY(Rotation);

}  // namespace
