// The trigonometric kernels against the C library, sampled densely over
// their stated ranges, and their listed special values.
#include "math/simd/amd/kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "math/simd/sse/family.h"
#include "math/simd/sse2/family.h"

namespace {

using kubik::kernels::ScalarArcCosine;
using kubik::kernels::ScalarArcTangent2;
using kubik::kernels::ScalarSine;
using kubik::kernels::ScalarSineCosine;

constexpr float kPi = std::numbers::pi_v<float>;

// Angles with |x| <= 1000: an even walk over the float bit patterns (every
// exponent, many mantissas), an even walk over the interval, and the floats
// next to every multiple of pi/2, where the reduction cancels most.
std::vector<float> DenseAngles() {
  std::vector<float> angles;
  const std::uint32_t top = std::bit_cast<std::uint32_t>(1000.0f);
  for (std::uint32_t bits = 0; bits <= top; bits += 769) {
    angles.push_back(std::bit_cast<float>(bits));
  }
  constexpr int kSteps = 1 << 20;
  for (int i = 0; i <= kSteps; ++i) angles.push_back(1000.0f * static_cast<float>(i) / kSteps);
  for (int q = 1; q * (std::numbers::pi / 2) <= 1000.0; ++q) {
    const float centre = static_cast<float>(q * (std::numbers::pi / 2));
    float x = centre;
    for (int i = 0; i < 32; ++i) x = std::nextafter(x, 0.0f);
    for (int i = 0; i < 64; ++i, x = std::nextafter(x, 2000.0f)) angles.push_back(x);
  }
  angles.push_back(1000.0f);
  const std::size_t positive = angles.size();
  for (std::size_t i = 0; i < positive; ++i) angles.push_back(-angles[i]);
  while (angles.size() % 4) angles.push_back(0.0f);
  return angles;
}

const std::vector<float>& Angles() {
  static const std::vector<float> angles = DenseAngles();
  return angles;
}

struct alignas(16) Lanes {
  float v[4];
};

TEST(PackedSineCosine, WithinOneTenMillionthOfTheLibraryUpTo1000) {
  const std::vector<float>& angles = Angles();
  ASSERT_GT(angles.size(), 3'000'000u);
  double worst_sine = 0, worst_cosine = 0;
  float at_sine = 0, at_cosine = 0;
  Lanes in, sines, cosines;
  for (std::size_t i = 0; i < angles.size(); i += 4) {
    std::memcpy(in.v, &angles[i], sizeof in.v);
    kubik::sse2::PackedSineCosine(in.v, sines.v, cosines.v);
    for (int lane = 0; lane < 4; ++lane) {
      const double x = in.v[lane];
      const double es = std::fabs(sines.v[lane] - std::sin(x));
      const double ec = std::fabs(cosines.v[lane] - std::cos(x));
      if (es > worst_sine) worst_sine = es, at_sine = in.v[lane];
      if (ec > worst_cosine) worst_cosine = ec, at_cosine = in.v[lane];
    }
  }
  EXPECT_LE(worst_sine, 1e-7) << "at " << at_sine;
  EXPECT_LE(worst_cosine, 1e-7) << "at " << at_cosine;
}

TEST(PackedSineCosine, SseAndSse2FormsAgreeBitForBit) {
  const std::vector<float>& angles = Angles();
  Lanes in, s1, c1, s2, c2;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < angles.size(); i += 4) {
    std::memcpy(in.v, &angles[i], sizeof in.v);
    kubik::sse::PackedSineCosine(in.v, s1.v, c1.v);
    kubik::sse2::PackedSineCosine(in.v, s2.v, c2.v);
    differing += std::memcmp(s1.v, s2.v, 16) != 0 || std::memcmp(c1.v, c2.v, 16) != 0;
  }
  EXPECT_EQ(differing, 0u);
}

TEST(PackedSineCosine, QuarterTurnsAndNegativeZero) {
  const Lanes in{{0.0f, kPi / 2, kPi, -kPi / 2}};
  for (auto kernel : {&kubik::sse::PackedSineCosine, &kubik::sse2::PackedSineCosine}) {
    Lanes s, c;
    kernel(in.v, s.v, c.v);
    EXPECT_NEAR(s.v[0], 0.0f, 1e-7);
    EXPECT_NEAR(s.v[1], 1.0f, 1e-7);
    EXPECT_NEAR(s.v[2], -8.7e-8f, 1e-7);
    EXPECT_LT(s.v[2], 0.0f);
    EXPECT_NEAR(s.v[3], -1.0f, 1e-7);
    EXPECT_NEAR(c.v[0], 1.0f, 1e-7);
    EXPECT_NEAR(c.v[1], -4.4e-8f, 1e-7);
    EXPECT_NEAR(c.v[2], -1.0f, 1e-7);
    EXPECT_NEAR(c.v[3], -4.4e-8f, 1e-7);

    const Lanes zeros{{-0.0f, 0.0f, -0.0f, 0.0f}};
    kernel(zeros.v, s.v, c.v);
    EXPECT_TRUE(std::signbit(s.v[0]));
    EXPECT_FALSE(std::signbit(s.v[1]));
    EXPECT_EQ(s.v[0], 0.0f);
    EXPECT_EQ(c.v[0], 1.0f);
    EXPECT_EQ(c.v[2], 1.0f);
  }
}

TEST(PackedSineCosine, EveryQuadrantPicksTheRightPolynomialAndSign) {
  // One angle in the middle of each quadrant, both signs: an error in the
  // selection or sign masks is off by far more than the kernel's error.
  Lanes in, s, c;
  for (int quadrant = -8; quadrant < 8; quadrant += 4) {
    for (int lane = 0; lane < 4; ++lane) in.v[lane] = (quadrant + lane + 0.5f) * (kPi / 2);
    kubik::sse::PackedSineCosine(in.v, s.v, c.v);
    for (int lane = 0; lane < 4; ++lane) {
      EXPECT_NEAR(s.v[lane], std::sin(double{in.v[lane]}), 1e-7) << in.v[lane];
      EXPECT_NEAR(c.v[lane], std::cos(double{in.v[lane]}), 1e-7) << in.v[lane];
    }
  }
}

TEST(ScalarSineCosine, WithinFourTenMillionthsOfTheLibraryUpTo1000) {
  double worst_sine = 0, worst_cosine = 0;
  float at_sine = 0, at_cosine = 0;
  std::size_t sine_only_differs = 0;
  for (const float x : Angles()) {
    const kubik::kernels::FloatPair pair = ScalarSineCosine(x);
    const double ec = std::fabs(pair.lo - std::cos(double{x}));
    const double es = std::fabs(pair.hi - std::sin(double{x}));
    if (es > worst_sine) worst_sine = es, at_sine = x;
    if (ec > worst_cosine) worst_cosine = ec, at_cosine = x;
    sine_only_differs +=
        std::bit_cast<std::uint32_t>(ScalarSine(x)) != std::bit_cast<std::uint32_t>(pair.hi);
  }
  EXPECT_LE(worst_sine, 4e-7) << "at " << at_sine;
  EXPECT_LE(worst_cosine, 4e-7) << "at " << at_cosine;
  EXPECT_EQ(sine_only_differs, 0u);
}

TEST(ScalarSineCosine, ReturnsCosineFirstAndKeepsTheSineOdd) {
  const kubik::kernels::FloatPair at_zero = ScalarSineCosine(0.0f);
  EXPECT_EQ(at_zero.lo, 1.0f);
  EXPECT_EQ(at_zero.hi, 0.0f);
  EXPECT_TRUE(std::signbit(ScalarSine(-0.0f)));
  for (float x : {0.3f, 1.0f, 2.5f, 4.0f, 5.9f, 100.0f}) {
    const kubik::kernels::FloatPair plus = ScalarSineCosine(x);
    const kubik::kernels::FloatPair minus = ScalarSineCosine(-x);
    EXPECT_EQ(minus.hi, -plus.hi) << x;
    EXPECT_EQ(minus.lo, plus.lo) << x;
  }
}

TEST(ScalarArcCosine, CloseToTheLibraryOverMinusOneToOne) {
  // Every 2^-22 over [-1, 1]. The bound is the polynomial's error plus the
  // rounding of results near pi and of pi itself as a float.
  double worst = 0;
  float at = 0;
  for (int i = -(1 << 22); i <= (1 << 22); ++i) {
    const float x = std::ldexp(static_cast<float>(i), -22);
    const double e = std::fabs(ScalarArcCosine(x) - std::acos(double{x}));
    if (e > worst) worst = e, at = x;
  }
  EXPECT_LE(worst, 3.6e-7) << "at " << at;
}

TEST(ScalarArcCosine, ListedValues) {
  EXPECT_EQ(ScalarArcCosine(1.5f), 0.0f);
  EXPECT_EQ(ScalarArcCosine(-1.5f), 0.0f);
  EXPECT_EQ(ScalarArcCosine(std::nanf("")), 0.0f);
  EXPECT_EQ(ScalarArcCosine(-std::nanf("")), 0.0f);
  EXPECT_EQ(ScalarArcCosine(INFINITY), 0.0f);
  EXPECT_NEAR(ScalarArcCosine(0.5f), 1.0471976f, 3e-7);  // direct branch
  EXPECT_NEAR(ScalarArcCosine(0.6f), 0.9272952f, 3e-7);  // square-root branch
  EXPECT_EQ(ScalarArcCosine(1.0f), 0.0f);
  EXPECT_EQ(ScalarArcCosine(-1.0f), 3.14159274f);
  EXPECT_EQ(ScalarArcCosine(0.0f), ScalarArcCosine(-0.0f));
}

TEST(ScalarArcTangent2, CloseToTheLibraryAroundTheCircle) {
  double worst = 0;
  for (int i = 0; i < (1 << 20); ++i) {
    const double angle = -std::numbers::pi + 2 * std::numbers::pi * i / (1 << 20);
    const double radius = std::ldexp(1.0, i % 64 - 32);
    const float x = static_cast<float>(radius * std::cos(angle));
    const float y = static_cast<float>(radius * std::sin(angle));
    const double e = std::fabs(ScalarArcTangent2(y, x) - std::atan2(double{y}, double{x}));
    worst = std::max(worst, e);
  }
  EXPECT_LE(worst, 3.1e-7);
}

TEST(ScalarArcTangent2, ListedValues) {
  EXPECT_NEAR(ScalarArcTangent2(1, 1), kPi / 4, 3e-7);
  EXPECT_NEAR(ScalarArcTangent2(1, -1), 3 * kPi / 4, 3e-7);
  EXPECT_NEAR(ScalarArcTangent2(-1, -1), -3 * kPi / 4, 3e-7);
  EXPECT_EQ(ScalarArcTangent2(0.0f, -1.0f), kPi);
  EXPECT_EQ(ScalarArcTangent2(-0.0f, -1.0f), -kPi);
  EXPECT_EQ(ScalarArcTangent2(0.0f, 0.0f), 0.0f);
  EXPECT_FALSE(std::signbit(ScalarArcTangent2(0.0f, 0.0f)));
  EXPECT_EQ(ScalarArcTangent2(0.0f, -0.0f), kPi);
  EXPECT_EQ(ScalarArcTangent2(-0.0f, -0.0f), -kPi);
  EXPECT_NEAR(ScalarArcTangent2(1, 0), kPi / 2, 3e-7);
  EXPECT_NEAR(ScalarArcTangent2(-1, 0), -kPi / 2, 3e-7);
}

}  // namespace
