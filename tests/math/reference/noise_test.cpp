// Gradient noise: its tables, lattice zeros, period, smoothness, and the
// slope at a lattice point, which is 1.5 times that corner's gradient.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <limits>
#include <random>

#include "math/reference/noise_tables.h"

namespace {

using kubik::NoiseGradients;
using kubik::NoisePermutation;

float Noise(float x, float y, float z) {
  const KMVECTOR3 p(x, y, z);
  return PerlinNoise3(&p);
}

TEST(PerlinNoise, TablesRepeatAndKeepEveryIndexWithin510) {
  for (unsigned i = 0; i < 256; ++i) {
    // A lattice value (0 to 255) plus an entry must stay at or below 510.
    EXPECT_GE(NoisePermutation[i], 0);
    EXPECT_LE(NoisePermutation[i], 255);
  }
  for (unsigned i = 256; i < kubik::kNoiseTableSize; ++i) {
    EXPECT_EQ(NoisePermutation[i], NoisePermutation[i - 256]) << i;
    EXPECT_EQ(NoiseGradients[i].x, NoiseGradients[i - 256].x) << i;
    EXPECT_EQ(NoiseGradients[i].y, NoiseGradients[i - 256].y) << i;
    EXPECT_EQ(NoiseGradients[i].z, NoiseGradients[i - 256].z) << i;
  }
  EXPECT_EQ(NoisePermutation[2], 109);
  EXPECT_EQ(NoisePermutation[253], 0);
  EXPECT_EQ(NoisePermutation[254], 35);
}

TEST(PerlinNoise, GradientsAreUnitAndTheFixedRowsExact) {
  for (unsigned i = 0; i < 256; ++i) {
    const auto& g = NoiseGradients[i];
    const double length = std::sqrt(double{g.x} * g.x + double{g.y} * g.y + double{g.z} * g.z);
    EXPECT_NEAR(length, 1.0, 1e-6) << i;
  }
  const struct {
    unsigned row;
    float x, y, z;
  } fixed[] = {
      {0, 0.761481f, -0.178833f, 0.623030f},   {1, -0.340531f, -0.664845f, 0.664845f},
      {2, -0.079363f, 0.989390f, -0.121690f},  {3, -0.264218f, 0.428462f, -0.864065f},
      {255, 0.077677f, -0.524319f, 0.847972f}, {256, 0.761481f, -0.178833f, 0.623030f},
  };
  for (const auto& f : fixed) {
    EXPECT_EQ(NoiseGradients[f.row].x, f.x) << f.row;
    EXPECT_EQ(NoiseGradients[f.row].y, f.y) << f.row;
    EXPECT_EQ(NoiseGradients[f.row].z, f.z) << f.row;
  }
}

TEST(PerlinNoise, IsZeroAtEveryLatticePoint) {
  EXPECT_EQ(Noise(0, 0, 0), 0.0f);
  EXPECT_EQ(Noise(3, -7, 12), 0.0f);
  std::mt19937 rng(6);
  std::uniform_int_distribution<int> coordinate(-9999, 100000);
  for (int i = 0; i < 2000; ++i) {
    const float x = static_cast<float>(coordinate(rng)), y = static_cast<float>(coordinate(rng)),
                z = static_cast<float>(coordinate(rng));
    ASSERT_EQ(Noise(x, y, z), 0.0f) << x << " " << y << " " << z;
  }
}

TEST(PerlinNoise, RepeatsWithPeriod256OnEachAxis) {
  std::mt19937 rng(256);
  // Multiples of 2^-12 below 2^11: x and x + k * 256 are both exact floats.
  std::uniform_int_distribution<int> ticks(-2000 * 4096, 2000 * 4096);
  for (int i = 0; i < 2000; ++i) {
    const float x = std::ldexp(static_cast<float>(ticks(rng)), -12);
    const float y = std::ldexp(static_cast<float>(ticks(rng)), -12);
    const float z = std::ldexp(static_cast<float>(ticks(rng)), -12);
    const float k = static_cast<float>(256 * (1 + i % 7));
    const float n = Noise(x, y, z);
    ASSERT_EQ(Noise(x + k, y, z), n) << x << " " << y << " " << z;
    ASSERT_EQ(Noise(x, y + k, z), n) << x << " " << y << " " << z;
    ASSERT_EQ(Noise(x, y, z + k), n) << x << " " << y << " " << z;
  }
}

TEST(PerlinNoise, SlopeAtALatticePointIsOneAndAHalfTimesItsGradient) {
  // At the origin the corner hashes to row 33; z = 206 and z = 207 move it to
  // rows 255 and 256 (a copy of row 0), two of the fixed rows.
  const float h = std::ldexp(1.0f, -12);
  for (const auto& [z, row] : {std::pair{206.0f, 255u}, std::pair{207.0f, 256u}}) {
    const auto& g = NoiseGradients[row];
    EXPECT_NEAR(Noise(h, 0, z) / h, 1.5 * g.x, 2e-3) << row;
    EXPECT_NEAR(Noise(0, h, z) / h, 1.5 * g.y, 2e-3) << row;
    EXPECT_NEAR(Noise(0, 0, z + h) / h, 1.5 * g.z, 2e-3) << row;
  }
}

TEST(PerlinNoise, IsContinuousWithAContinuousSlopeAcrossCellBoundaries) {
  // Boundaries inside the tables and where the cell index wraps from 255 to
  // 0 (240 + 10000 is a multiple of 256).
  const float h = std::ldexp(1.0f, -11);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> inside(0.0f, 1.0f);
  for (float edge : {5.0f, -3.0f, 240.0f, -16.0f, 1000.0f}) {
    for (int i = 0; i < 50; ++i) {
      const float a = inside(rng) + 17.0f, b = inside(rng) - 40.0f;
      for (int axis = 0; axis < 3; ++axis) {
        auto at = [&](float c) {
          return axis == 0 ? Noise(c, a, b) : axis == 1 ? Noise(b, c, a) : Noise(a, b, c);
        };
        const float below = std::nextafter(edge, -1e9f), above = std::nextafter(edge, 1e9f);
        // The slope is at most 1.5 * sqrt(3), so one float step moves the
        // value by less than three steps' length.
        const double tolerance = 3.0 * (double{above} - below) + 1e-6;
        EXPECT_NEAR(at(below), at(edge), tolerance) << edge << " axis " << axis;
        EXPECT_NEAR(at(above), at(edge), tolerance) << edge << " axis " << axis;
        // One-sided slopes agree to the size of the step (a linear fade
        // would leave a jump of order 1 here).
        const double left = (double{at(edge)} - at(edge - h)) / h;
        const double right = (double{at(edge + h)} - at(edge)) / h;
        EXPECT_NEAR(left, right, 0.02) << edge << " axis " << axis;
      }
    }
  }
}

TEST(PerlinNoise, StaysBoundedAndVaries) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> coordinate(-9000.0f, 9000.0f);
  double sum = 0, sum_sq = 0;
  const int count = 20000;
  for (int i = 0; i < count; ++i) {
    const float n = Noise(coordinate(rng), coordinate(rng), coordinate(rng));
    ASSERT_LE(std::fabs(n), 1.5f * std::sqrt(3.0f));
    sum += n;
    sum_sq += double{n} * n;
  }
  const double mean = sum / count;
  EXPECT_NEAR(mean, 0.0, 0.05);
  EXPECT_GT(sum_sq / count - mean * mean, 0.01);
}

TEST(PerlinNoise, ReturnsAValueOutsideTheOffsetRange) {
  // Far below -10000 and far above 2^31 the noise keeps its period and its
  // lattice zeros; non-finite coordinates give NaN.
  EXPECT_EQ(Noise(-20000.0f, 1.0f, 2.0f), 0.0f);
  EXPECT_EQ(Noise(-20000.25f, 1.5f, 2.5f), Noise(-20000.25f + 256.0f, 1.5f, 2.5f));
  EXPECT_EQ(Noise(-20000.25f, 1.5f, 2.5f), Noise(-20000.25f + 256.0f * 64.0f, 1.5f, 2.5f));
  EXPECT_TRUE(std::isfinite(Noise(3e9f, 0.5f, 0.5f)));
  EXPECT_TRUE(std::isfinite(Noise(1e30f, -1e30f, 0.5f)));
  EXPECT_EQ(Noise(-10000.5f, 0, 0), Noise(-10000.5f + 256.0f, 0, 0));
  EXPECT_TRUE(std::isnan(Noise(std::numeric_limits<float>::infinity(), 0, 0)));
  EXPECT_TRUE(std::isnan(Noise(0, std::numeric_limits<float>::quiet_NaN(), 0)));
}

}  // namespace
