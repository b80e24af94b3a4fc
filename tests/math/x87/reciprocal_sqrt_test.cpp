// The reciprocal-square-root table and its lookup.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "math/simd/x87/family.h"

namespace {

using kubik::x87::kReciprocalSqrtEntries;
using kubik::x87::ReciprocalSqrtLookup;
using kubik::x87::ReciprocalSqrtTable;
using kubik::x87::Working;

constexpr double kBound = 1.5e-6;

std::uint32_t Bits(float x) {
  return std::bit_cast<std::uint32_t>(x);
}

double Lookup(float x) {
  return static_cast<double>(ReciprocalSqrtLookup(Bits(x)));
}

// Relative error of the lookup for the float with bit pattern `bits`.
double RelativeError(std::uint32_t bits) {
  const double x = std::bit_cast<float>(bits);
  const double exact = 1.0 / std::sqrt(x);
  return std::fabs(static_cast<double>(ReciprocalSqrtLookup(bits)) / exact - 1.0);
}

struct Segment {
  double start, end;
};

Segment SegmentOf(unsigned entry) {
  if (entry < 256) return {0.5 + entry / 512.0, 0.5 + (entry + 1) / 512.0};
  return {1.0 + (entry - 256) / 256.0, 1.0 + (entry - 255) / 256.0};
}

TEST(ReciprocalSqrtTable, TellingRowsAreExact) {
  struct Row {
    unsigned entry;
    std::uint32_t slope, intercept;
  };
  const Row rows[] = {
      {0, 0xbfb47e00, 0x4007a1fa},   {1, 0xbfb37000, 0x40075e36},   {128, 0xbf44b000, 0x3fdd8f3a},
      {255, 0xbf003000, 0x3fc01800}, {256, 0xbeff4000, 0x3fbfd000}, {384, 0xbe8b1400, 0x3f9caa76},
      {511, 0xbe354800, 0x3f87d47a},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Bits(ReciprocalSqrtTable[row.entry].slope), row.slope) << row.entry;
    EXPECT_EQ(Bits(ReciprocalSqrtTable[row.entry].intercept), row.intercept) << row.entry;
  }
}

// Every row follows the chord rule: the slope is a multiple of 2^-16 within
// 4 units of the exact chord slope, and the line meets the curve at both end
// points to float precision.
TEST(ReciprocalSqrtTable, EveryRowIsARoundedChord) {
  for (unsigned entry = 0; entry < kReciprocalSqrtEntries; ++entry) {
    const Segment segment = SegmentOf(entry);
    const double at_start = 1.0 / std::sqrt(segment.start);
    const double at_end = 1.0 / std::sqrt(segment.end);
    const double chord_slope = (at_end - at_start) / (segment.end - segment.start);
    const double slope = ReciprocalSqrtTable[entry].slope;
    const double intercept = ReciprocalSqrtTable[entry].intercept;

    const double units = slope * 65536.0;
    EXPECT_EQ(units, std::round(units)) << entry;
    EXPECT_LE(std::fabs(slope - chord_slope), 4.0 / 65536.0) << entry;

    const double ulp = std::nextafter(static_cast<float>(intercept), 4.0f) - intercept;
    EXPECT_LE(std::fabs(slope * segment.start + intercept - at_start), 2 * ulp) << entry;
    EXPECT_LE(std::fabs(slope * segment.end + intercept - at_end), 2 * ulp) << entry;
  }
}

TEST(ReciprocalSqrtLookup, ListedValues) {
  EXPECT_EQ(Lookup(1.0f), 1.0);  // the line of entry 256 passes exactly through (1, 1)
  EXPECT_NEAR(Lookup(2.0f), 0.70710678118654752, 0.70710678118654752 * kBound);
  EXPECT_EQ(Lookup(4.0f), 0.5);
  EXPECT_EQ(Lookup(0.25f), 2.0);
}

// x and 4x share the table entry and the reduced argument; only the power of
// two changes, so the results are exactly 2 : 1.
TEST(ReciprocalSqrtLookup, FourTimesTheArgumentHalvesTheResult) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> mantissa(0, 0x7fffff);
  for (std::uint32_t exponent = 1; exponent + 2 <= 254; ++exponent) {
    for (int n = 0; n < 64; ++n) {
      const std::uint32_t bits = exponent << 23 | mantissa(random);
      const float x = std::bit_cast<float>(bits);
      const float four_x = 4.0f * x;
      ASSERT_EQ(ReciprocalSqrtLookup(Bits(x)), 2 * ReciprocalSqrtLookup(Bits(four_x)))
          << std::hexfloat << x;
    }
  }
}

// The result's relative error depends only on the table entry and the
// reduced argument, that is on the low 24 bits; one even and one odd
// exponent therefore cover every float's error, and every other exponent is
// checked on a dense sample.
TEST(ReciprocalSqrtLookup, RelativeErrorStaysBelowBound) {
  double worst = 0.0;
  std::uint32_t worst_bits = 0;
  auto check = [&](std::uint32_t bits) {
    const double error = RelativeError(bits);
    if (error > worst) {
      worst = error;
      worst_bits = bits;
    }
  };
  for (std::uint32_t low = 0; low < (1u << 24); ++low) check(0x3f000000u | low);

  std::mt19937 random(11);
  std::uniform_int_distribution<std::uint32_t> mantissa(0, 0x7fffff);
  for (std::uint32_t exponent = 1; exponent <= 254; ++exponent) {
    for (std::uint32_t m = 0; m < (1u << 23); m += 1021) check(exponent << 23 | m);
    for (int n = 0; n < 1024; ++n) check(exponent << 23 | mantissa(random));
    check(exponent << 23 | 0x7fffff);
  }
  EXPECT_LT(worst, kBound) << std::hexfloat << std::bit_cast<float>(worst_bits);
  // The bound is nearly reached in the first segments, where the curve bends most.
  EXPECT_GT(worst, 1.4e-6);
}

TEST(ReciprocalSqrtLookup, SmallestAndLargestNormals) {
  for (const float x : {std::bit_cast<float>(0x00800000u), std::bit_cast<float>(0x7f7fffffu)}) {
    EXPECT_LT(RelativeError(Bits(x)), kBound) << x;
  }
}

}  // namespace
