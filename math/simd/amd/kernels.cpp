// The scalar kernels in portable single precision. They follow the steps of
// the packed two-lane form exactly; where that form uses a refined reciprocal
// or reciprocal square root (full single precision after refinement), this
// one divides or takes the square root, which gives the correctly rounded
// value the refinement aims at.
#include "math/simd/amd/kernels.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "math/simd/kernel_constants.h"

namespace kubik::kernels {
namespace {

float Reciprocal(float x) {
  return 1.0f / x;
}

float ReciprocalSqrt(float x) {
  return 1.0f / std::sqrt(x);
}

float Negate(float x, bool negate) {
  return negate ? std::bit_cast<float>(std::bit_cast<std::uint32_t>(x) ^ kSignMask) : x;
}

}  // namespace

FloatPair ScalarSineCosine(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const float a = std::bit_cast<float>(bits & kMagnitudeMask);
  const std::uint32_t s = bits >> 31;

  const std::int32_t k = static_cast<std::int32_t>(a * kFourOverPi);  // truncates toward zero
  const float kf = static_cast<float>(k);
  float r = (a + kf * kMinusQuarterPi1) + kf * kMinusQuarterPi2;
  if (k & 1) r = kQuarterPi - r;  // odd octants count from their upper end
  const float z = r * r;

  // Nested brackets, each formed as (factor * z) * inner + 1.
  float c = kCosineFactor56 * z + 1.0f;
  c = (kCosineFactor30 * z) * c + 1.0f;
  c = (kCosineFactor12 * z) * c + 1.0f;
  c = (kCosineFactor2 * z) * c + 1.0f;
  float sn = kSineFactor42 * z + 1.0f;
  sn = (kSineFactor20 * z) * sn + 1.0f;
  sn = (kSineFactor6 * z) * sn + 1.0f;
  sn = r * sn;

  const std::uint32_t octant = static_cast<std::uint32_t>(k);
  FloatPair result{c, sn};
  if ((octant ^ (octant >> 1)) & 1) result = FloatPair{sn, c};
  const std::uint32_t bit1 = (octant >> 1) & 1;
  const std::uint32_t bit2 = (octant >> 2) & 1;
  result.hi = Negate(result.hi, (s ^ bit2) != 0);
  result.lo = Negate(result.lo, bit1 != bit2);
  return result;
}

float ScalarSine(float x) {
  return ScalarSineCosine(x).hi;
}

float ScalarArcCosine(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const std::uint32_t magnitude = bits & kMagnitudeMask;
  // Compared as bit patterns, so a NaN counts as greater than 1.
  if (magnitude > std::bit_cast<std::uint32_t>(1.0f)) return 0.0f;
  const float a = std::bit_cast<float>(magnitude);
  const bool negative = (bits & kSignMask) != 0;

  const bool direct = a < kArcCosineThreshold;
  float z = a;
  if (!direct) {
    const float y = 0.5f - 0.5f * a;
    z = y == 0.0f ? 0.0f : y * ReciprocalSqrt(y);
  }
  const float w = z * z;
  const float numerator = (z * w) * (kArcCosineA * w + kArcCosineB);
  const float denominator = w * (w + kArcCosineC) + kArcCosineD;
  const float arc_sine = z + numerator * Reciprocal(denominator);

  if (direct) return negative ? kHalfPi + arc_sine : kHalfPi - arc_sine;
  const float twice = arc_sine + arc_sine;
  return negative ? (kHalfPi + kHalfPi) - twice : twice;
}

float ScalarArcTangent2(float y, float x) {
  const std::uint32_t x_bits = std::bit_cast<std::uint32_t>(x);
  const std::uint32_t y_bits = std::bit_cast<std::uint32_t>(y);
  const float ax = std::bit_cast<float>(x_bits & kMagnitudeMask);
  const float ay = std::bit_cast<float>(y_bits & kMagnitudeMask);
  const bool x_negative = (x_bits & kSignMask) != 0;
  const bool y_negative = (y_bits & kSignMask) != 0;

  const bool swap = ay > ax;
  const float larger = swap ? ay : ax;
  const float smaller = swap ? ax : ay;
  // Both zero: the ratio is 0, as the saturating estimate of 1/0 gives it.
  const float t = larger == 0.0f ? 0.0f : smaller * Reciprocal(larger);

  const float w = t * t;
  const float p = w * ((kArcTangentP2 * w + kArcTangentP1) * w + kArcTangentP0);
  const float q = ((w + kArcTangentQ2) * w + kArcTangentQ1) * w + kArcTangentQ0;
  const float arc_tangent = t + (t * p) * Reciprocal(q);

  float result;
  if (swap) {
    result = x_negative ? kHalfPi + arc_tangent : kHalfPi - arc_tangent;
  } else {
    result = x_negative ? (kHalfPi + kHalfPi) - arc_tangent : arc_tangent;
  }
  return Negate(result, y_negative);
}

}  // namespace kubik::kernels
