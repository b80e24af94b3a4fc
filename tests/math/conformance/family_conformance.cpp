// What each family may differ by from the reference, listed once per family.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "tests/math/conformance/conformance.h"

namespace kubik::conformance {
namespace {

// The reference against itself: bit for bit.
constexpr Tolerance kExact{0, 0};

// The x87-tuned set rounds the same exact products once, summed in another
// order at 64-bit precision instead of 53: one unit apart at most, except
// under cancellation deeper than double precision reaches.
constexpr Tolerance kX87{1, 0x1p-40};

// Single-precision SIMD arithmetic: a few roundings per component, and
// cancellation measured against the record's largest component.
constexpr Tolerance kSinglePrecision{4, 0x1p-21};

// The tuned normalise's squared length, as it forms it.
float X87SquaredLength(std::span<const float> v) {
  const long double x = v[0], y = v[1], z = v[2];
  return static_cast<float>((x * x + y * y) + z * z);
}

bool NearUnitLength(std::span<const float> v) {
  const float length_sq = X87SquaredLength(v);
  return std::fabs(static_cast<float>(static_cast<long double>(length_sq) - 1)) <= 1e-5f;
}

bool BelowSmallestNormal(std::span<const float> v) {
  const float length_sq = X87SquaredLength(v);
  return length_sq > 0 && length_sq <= FLT_MIN;
}

bool NotFinite(std::span<const float> v) {
  return !std::isfinite(X87SquaredLength(v));
}

bool OutsideTheTablePath(std::span<const float> v) {
  return NearUnitLength(v) || BelowSmallestNormal(v) || NotFinite(v);
}

// KMPlaneFromPoints normalises the normal of its three points.
bool PlaneNormalOutsideTheTablePath(std::span<const float> p) {
  const double ax = p[0] - static_cast<double>(p[3]), ay = p[1] - static_cast<double>(p[4]),
               az = p[2] - static_cast<double>(p[5]);
  const double bx = p[0] - static_cast<double>(p[6]), by = p[1] - static_cast<double>(p[7]),
               bz = p[2] - static_cast<double>(p[8]);
  const float normal[3] = {static_cast<float>(ay * bz - az * by),
                           static_cast<float>(az * bx - bz * ax),
                           static_cast<float>(by * ax - bx * ay)};
  return OutsideTheTablePath(normal);
}

constexpr DocumentedDifference kX87Differences[] = {
    {Slot::KMVec3Normalize,
     "1/sqrt(L) read from the 512-segment table: up to 1.5e-6 relative",
     {2, 1.5e-6}},
    {Slot::KMVec3Normalize,
     "squared length within 1e-5 of 1: the input is returned unchanged",
     {},
     &NearUnitLength},
    {Slot::KMVec3Normalize,
     "squared length nonzero but not above the smallest normal float: normalised by the table "
     "instead of giving the zero vector",
     {},
     &BelowSmallestNormal},
    {Slot::KMVec3Normalize,
     "infinite or NaN squared length: through the table, not meaningful",
     {},
     &NotFinite},
    // The axis builders normalise their axis (their first input) through the
    // public KMVec3Normalize, so the tuned one's differences reach them.
    {Slot::KMQuaternionRotationAxis,
     "axis normalised through KMVec3Normalize: its table error and thresholds",
     {2, 4e-6},
     &OutsideTheTablePath},
    {Slot::KMMatrixRotationAxis,
     "axis normalised through KMVec3Normalize: its table error and thresholds",
     {2, 4e-6},
     &OutsideTheTablePath},
    // d = -(n . V1) inherits the normal's error scaled by the point.
    {Slot::KMPlaneFromPoints,
     "normal normalised through KMVec3Normalize: its table error and thresholds",
     {2, 4e-6, 4e-6},
     &PlaneNormalOutsideTheTablePath},
};

// The batch operations of the SSE and SSE2 families.
bool AnyNegativeZero(std::span<const float> inputs) {
  for (float f : inputs) {
    if (f == 0.0f && std::signbit(f)) return true;
  }
  return false;
}

constexpr Tolerance kRefinedReciprocal{8, 0x1p-21};

constexpr DocumentedDifference kSseBatchDifferences[] = {
    {Slot::KMVec2TransformCoordArray,
     "blocks of four divide by w through the refined reciprocal estimate", kRefinedReciprocal},
    {Slot::KMVec3TransformCoordArray,
     "blocks of four divide by w through the refined reciprocal estimate", kRefinedReciprocal},
    {Slot::SkinnedMeshBlend,
     "positions divide by w through the refined reciprocal estimate, also when w is 1",
     kRefinedReciprocal},
    {Slot::SkinnedMeshBlend,
     "an influence entry of -0.0 ends the run instead of counting as bone 0 with weight 0",
     {},
     &AnyNegativeZero},
    {Slot::NPatchTessellate,
     "control net and basis in single precision: cancellation in the edge points",
     {8, 0x1p-20}},
};

constexpr FamilyConformance kFamilies[] = {
    {"reference", kExact, {}},
    {"x87", kX87, kX87Differences},
    {"sse", kSinglePrecision, kSseBatchDifferences, "x87"},
    {"sse2", kSinglePrecision, kSseBatchDifferences, "x87"},
    {"3dnow", kSinglePrecision, {}, "x87"},
};

}  // namespace

const FamilyConformance& ConformanceOf(const char* family) {
  for (const FamilyConformance& entry : kFamilies) {
    if (std::strcmp(entry.family, family) == 0) return entry;
  }
  static constexpr FamilyConformance kUnlisted{"unlisted", kSinglePrecision, {}, "x87"};
  return kUnlisted;
}

std::span<const FamilyConformance> ListedConformance() {
  return kFamilies;
}

}  // namespace kubik::conformance
