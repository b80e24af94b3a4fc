// What each family may differ by from the reference, listed once per family.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/reference/reference.h"
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

// ---- SSE and SSE2 -------------------------------------------------------------
// Single-precision arithmetic throughout, estimate-plus-Newton reciprocals
// and reciprocal square roots (about 22 bits), and the guards the sets drop
// or move. Inputs are laid out in parameter order (Inputs of a case).

double Square(double x) {
  return x * x;
}

// Squares and products of these leave single precision's range (or its
// normal range) where the reference's double precision does not.
bool OutsideSingleRange(std::span<const float> in) {
  for (float x : in) {
    const float a = std::fabs(x);
    if (a >= 0x1p40f || (a != 0 && a < 0x1p-40f)) return true;
  }
  return false;
}

// Non-finite inputs: the products are grouped differently, so an infinity
// meets a zero (NaN) where the reference keeps the infinity, or the reverse.
bool NotAllFinite(std::span<const float> in) {
  for (float x : in) {
    if (!std::isfinite(x)) return true;
  }
  return false;
}

bool Unrelated(std::span<const float> in) {
  return OutsideSingleRange(in) || NotAllFinite(in);
}

// The squared length of the first n inputs, in single precision as the sets
// form it.
float SquaredLength(std::span<const float> in, std::size_t n) {
  float sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += in[i] * in[i];
  return sum;
}

// Between the sets' zero threshold 2^-46 and the reference's smallest normal
// float, or not finite.
bool ThreeVectorOutsideGuards(std::span<const float> in) {
  const float length = SquaredLength(in, 3);
  return !std::isfinite(length) || (length > 0 && length < 0x1p-45f);
}

// No zero test in the 4-component normalisers: the reference gives zero.
bool FourVectorWithoutLength(std::span<const float> in) {
  const float length = SquaredLength(in, 4);
  return !std::isfinite(length) || length <= 0x1p-125f;
}

// The SSE quaternion inverse has no guard below 2^-63.
bool QuaternionWithoutInverse(std::span<const float> in) {
  const float length = SquaredLength(in, 4);
  return !std::isfinite(length) || length <= 0x1p-62f;
}

double Determinant3(const double m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

double Determinant4(std::span<const float> m) {
  double det = 0;
  for (int c = 0; c < 4; ++c) {
    double minor[3][3];
    for (int r = 1; r < 4; ++r) {
      for (int k = 0, j = 0; k < 4; ++k) {
        if (k != c) minor[r - 1][j++] = m[r * 4 + k];
      }
    }
    det += (c % 2 ? -1 : 1) * m[c] * Determinant3(minor);
  }
  return det;
}

// Singular or nearly so: the determinant is lost in the rounding of its
// terms, so the sets and the reference may disagree on whether it is zero
// (and the sets store no determinant when theirs is).
bool NearlySingular(std::span<const float> m) {
  double rows = 1;
  for (int r = 0; r < 4; ++r) {
    rows *= std::sqrt(Square(m[r * 4]) + Square(m[r * 4 + 1]) + Square(m[r * 4 + 2]) +
                      Square(m[r * 4 + 3]));
  }
  const double det = Determinant4(m);
  return !(std::fabs(det) > 0x1p-12 * rows);
}

// A plane whose normal has (nearly) no length: the reference normalises it
// to zero, the sets scale by a meaningless factor or not at all.
template <std::size_t First>
bool PlaneWithoutNormal(std::span<const float> in) {
  return !(SquaredLength(in.subspan(First), 3) > 0x1p-125f);
}

// SquadSetup inverts q1 and q2 (inputs 4 to 7 and 8 to 11).
bool SquadInvertsWithoutGuard(std::span<const float> in) {
  return QuaternionWithoutInverse(in.subspan(4, 4)) || QuaternionWithoutInverse(in.subspan(8, 4));
}

// Beyond these half angles the packed kernel's reduction loses accuracy.
bool AnglesBeyondTheKernel(std::span<const float> in) {
  for (float x : in) {
    if (!(std::fabs(x) <= 20000.0f)) return true;
  }
  return false;
}

// Terms against results: where the terms of a sum are more than `factor`
// times the record's largest result, single-precision sums keep too few bits
// for a tolerance relative to that result.
bool CancelsBeyond(std::span<const double> terms, std::span<const double> results, double factor) {
  double scale = 0, largest_term = 0;
  for (double r : results) scale = std::max(scale, std::fabs(r));
  for (double t : terms) largest_term = std::max(largest_term, t);
  return !(largest_term <= factor * scale);
}

constexpr double kCancellation = 0x1p7;
// The plane builder's error compounds the cross product's and the
// normalisation's; it gets a wider tolerance and so a wider factor.
constexpr double kPlaneCancellation = 0x1p10;

// Spline weights as the sets form them, ((s * srow + constant) + s^2 * s2row)
// + s^3 * s3row: their size is bounded by the rows' magnitudes.
struct SplineRows {
  double constant[4], s[4], s2[4], s3[4];
};
constexpr SplineRows kHermiteRows = {{1, 0, 0, 0}, {0, 1, 0, 0}, {-3, -2, 3, -1}, {2, 1, -2, 1}};
constexpr SplineRows kCatmullRomRows = {
    {0, 1, 0, 0}, {-0.5, 0, 0.5, 0}, {1, -2.5, 2, -0.5}, {-0.5, 1.5, -1.5, 0.5}};

// Inputs: four points of N floats, then s.
template <std::size_t N, const SplineRows& Rows>
bool SplineCancels(std::span<const float> in) {
  const double s = in[4 * N];
  double terms[N] = {}, results[N] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    const double w = Rows.constant[i] + s * Rows.s[i] + s * s * Rows.s2[i] + s * s * s * Rows.s3[i];
    const double bound = std::fabs(Rows.constant[i]) + std::fabs(s * Rows.s[i]) +
                         std::fabs(s * s * Rows.s2[i]) + std::fabs(s * s * s * Rows.s3[i]);
    for (std::size_t j = 0; j < N; ++j) {
      terms[j] += bound * std::fabs(in[i * N + j]);
      results[j] += w * in[i * N + j];
    }
  }
  return CancelsBeyond(terms, results, kCancellation);
}

// Inputs: V1, V2, V3 of N floats, then f and g.
template <std::size_t N>
bool BaryCentricCancels(std::span<const float> in) {
  const double f = in[3 * N], g = in[3 * N + 1];
  double terms[N], results[N];
  for (std::size_t j = 0; j < N; ++j) {
    const double v1 = in[j], v2 = in[N + j], v3 = in[2 * N + j];
    terms[j] = std::fabs(v1) + std::fabs(f) * (std::fabs(v2) + std::fabs(v1)) +
               std::fabs(g) * (std::fabs(v3) + std::fabs(v1));
    results[j] = v1 + f * (v2 - v1) + g * (v3 - v1);
  }
  return CancelsBeyond(terms, results, kCancellation);
}

// Inputs: a point of N floats, then the matrix. w near zero (no zero test:
// NaN where the reference gives infinities) or sums that cancel.
template <std::size_t N>
bool CoordTransformCancels(std::span<const float> in) {
  const std::span<const float> m = in.subspan(N, 16);
  double sums[4], magnitudes[4];
  for (std::size_t j = 0; j < 4; ++j) {
    sums[j] = m[12 + j];
    magnitudes[j] = std::fabs(m[12 + j]);
    for (std::size_t i = 0; i < N; ++i) {
      sums[j] += static_cast<double>(in[i]) * m[i * 4 + j];
      magnitudes[j] += std::fabs(static_cast<double>(in[i]) * m[i * 4 + j]);
    }
  }
  if (!(std::fabs(sums[3]) > 0x1p-12 * magnitudes[3])) return true;
  double terms[N], results[N];
  for (std::size_t j = 0; j < N; ++j) {
    results[j] = sums[j] / sums[3];
    terms[j] = (magnitudes[j] + magnitudes[3] * std::fabs(results[j])) / std::fabs(sums[3]);
  }
  return CancelsBeyond(terms, results, kCancellation);
}

// Inputs: the plane, V1, V2. Nearly parallel (the reference reports no
// intersection, the sets have no finite test on t) or sums that cancel.
bool IntersectionCancels(std::span<const float> in) {
  double d1 = 0, d2 = 0, t1 = 0, t2 = 0;
  for (int i = 0; i < 3; ++i) {
    d1 += static_cast<double>(in[i]) * in[4 + i];
    d2 += static_cast<double>(in[i]) * in[7 + i];
    t1 += std::fabs(static_cast<double>(in[i]) * in[4 + i]);
    t2 += std::fabs(static_cast<double>(in[i]) * in[7 + i]);
  }
  const double den = d1 - d2, num = d1 + in[3];
  const double t = num / den;
  if (!(std::fabs(den) > 0x1p-12 * (t1 + t2)) || !(std::fabs(t) < 0x1p100)) return true;
  // Relative error of t, carried into every component.
  const double t_condition = (t1 + t2) / std::fabs(den) + (t1 + std::fabs(in[3])) / std::fabs(num);
  double terms[3], results[3];
  for (int j = 0; j < 3; ++j) {
    const double v1 = in[4 + j], step = t * (static_cast<double>(in[7 + j]) - v1);
    results[j] = v1 + step;
    terms[j] = std::fabs(v1) + std::fabs(step) * (1 + std::min(t_condition, 0x1p20));
  }
  return !std::isfinite(t_condition) || CancelsBeyond(terms, results, kCancellation);
}

// Inputs: V1, V2, V3. Nearly collinear points, or a d that cancels against V1.
bool PlaneFromPointsCancels(std::span<const float> in) {
  double a[3], b[3];
  for (int i = 0; i < 3; ++i) {
    a[i] = static_cast<double>(in[i]) - in[3 + i];
    b[i] = static_cast<double>(in[i]) - in[6 + i];
  }
  const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0]};
  const double n_terms[3] = {std::fabs(a[1] * b[2]) + std::fabs(a[2] * b[1]),
                             std::fabs(a[2] * b[0]) + std::fabs(a[0] * b[2]),
                             std::fabs(a[0] * b[1]) + std::fabs(a[1] * b[0])};
  const double length = std::sqrt(Square(n[0]) + Square(n[1]) + Square(n[2]));
  // Exactly collinear: both give the zero normal.
  if (length == 0) return false;
  double d = 0, d_terms = 0;
  double terms[4], results[4];
  for (int i = 0; i < 3; ++i) {
    results[i] = n[i] / length;
    terms[i] = n_terms[i] / length;
    d -= results[i] * in[i];
    d_terms += std::fabs(results[i] * in[i]);
  }
  // d also carries the normal's direction error, scaled by |V1|.
  const double v1 = std::sqrt(Square(in[0]) + Square(in[1]) + Square(in[2]));
  results[3] = d;
  terms[3] = d_terms + v1 * std::max({terms[0], terms[1], terms[2]});
  return CancelsBeyond(terms, results, kPlaneCancellation);
}

// Inputs of widely different sizes side by side: the composite builders
// multiply them together in single precision.
bool MixedMagnitudes(std::span<const float> in) {
  float smallest = INFINITY, largest = 0;
  for (float x : in) {
    const float a = std::fabs(x);
    if (a != 0) smallest = std::min(smallest, a);
    largest = std::max(largest, a);
  }
  return largest > 0x1p10f * smallest;
}

// Tolerances for single-precision cancellation: determinants, minors and the
// products of the transformation builders lose bits against their terms,
// which are larger than the record's largest component.
constexpr Tolerance kSingleCancellation{8, 0x1p-15};

#define KUBIK_SSE_UNRELATED(slot) \
  { Slot::slot, "single precision: values beyond its range, or not finite", {}, &Unrelated }

// Single-precision sums whose terms cancel far below the record's size.
#define KUBIK_SSE_CANCELS(slot, what, predicate) \
  { Slot::slot, "single precision: " what " cancel", kSingleCancellation, predicate }

#define KUBIK_SSE_SHARED_DIFFERENCES                                                               \
  KUBIK_SSE_UNRELATED(KMVec2Transform), KUBIK_SSE_UNRELATED(KMVec3Transform),                      \
      KUBIK_SSE_UNRELATED(KMVec4Transform), KUBIK_SSE_UNRELATED(KMMatrixMultiply),                 \
      KUBIK_SSE_UNRELATED(KMMatrixMultiplyTranspose), KUBIK_SSE_UNRELATED(KMVec2TransformNormal),  \
      KUBIK_SSE_UNRELATED(KMVec3TransformNormal), KUBIK_SSE_UNRELATED(KMVec3Normalize),            \
      KUBIK_SSE_UNRELATED(KMVec4Normalize), KUBIK_SSE_UNRELATED(KMVec2TransformCoord),             \
      KUBIK_SSE_UNRELATED(KMVec3TransformCoord), KUBIK_SSE_UNRELATED(KMMatrixDeterminant),         \
      KUBIK_SSE_UNRELATED(KMPlaneFromPoints), KUBIK_SSE_UNRELATED(KMVec4Cross),                    \
      KUBIK_SSE_UNRELATED(KMVec2Hermite), KUBIK_SSE_UNRELATED(KMMatrixInverse),                    \
      KUBIK_SSE_UNRELATED(KMQuaternionMultiply), KUBIK_SSE_UNRELATED(KMQuaternionNormalize),       \
      KUBIK_SSE_UNRELATED(KMPlaneNormalize), KUBIK_SSE_UNRELATED(KMPlaneIntersectLine),            \
      KUBIK_SSE_UNRELATED(KMQuaternionRotationMatrix),                                             \
      KUBIK_SSE_UNRELATED(KMQuaternionRotationYawPitchRoll), KUBIK_SSE_UNRELATED(KMMatrixShadow),  \
      KUBIK_SSE_UNRELATED(KMMatrixReflect), KUBIK_SSE_UNRELATED(KMPlaneTransform),                 \
      KUBIK_SSE_UNRELATED(KMVec2CatmullRom), KUBIK_SSE_UNRELATED(KMVec2BaryCentric),               \
      KUBIK_SSE_UNRELATED(KMVec3Hermite), KUBIK_SSE_UNRELATED(KMVec3CatmullRom),                   \
      KUBIK_SSE_UNRELATED(KMVec3BaryCentric), KUBIK_SSE_UNRELATED(KMVec4Hermite),                  \
      KUBIK_SSE_UNRELATED(KMVec4CatmullRom),                                                       \
      KUBIK_SSE_UNRELATED(KMVec4BaryCentric), /* Composites that reach the sets' functions through \
                                                 the public entries. */                            \
      KUBIK_SSE_UNRELATED(KMMatrixTransformation), KUBIK_SSE_UNRELATED(KMMatrixTransformation2D),  \
      KUBIK_SSE_UNRELATED(KMMatrixAffineTransformation),                                           \
      KUBIK_SSE_UNRELATED(KMMatrixAffineTransformation2D),                                         \
      KUBIK_SSE_UNRELATED(KMMatrixRotationYawPitchRoll), KUBIK_SSE_UNRELATED(KMQuaternionSquad),   \
      KUBIK_SSE_UNRELATED(KMQuaternionBaryCentric), KUBIK_SSE_UNRELATED(KMQuaternionSquadSetup),   \
      KUBIK_SSE_UNRELATED(KMQuaternionRotationAxis), KUBIK_SSE_UNRELATED(KMMatrixRotationAxis),    \
      KUBIK_SSE_UNRELATED(KMVec3Project), KUBIK_SSE_UNRELATED(KMVec3Unproject),                    \
      {Slot::KMVec3Normalize,                                                                      \
       "zero below a squared length of 2^-46 (the reference: the smallest normal float)",          \
       {},                                                                                         \
       &ThreeVectorOutsideGuards},                                                                 \
      {Slot::KMPlaneNormalize,                                                                     \
       "zero below a squared length of 2^-46 (the reference: the smallest normal float)",          \
       {},                                                                                         \
       &ThreeVectorOutsideGuards},                                                                 \
      {Slot::KMQuaternionRotationAxis,                                                             \
       "axis normalised through KMVec3Normalize: zero below 2^-46",                                \
       {},                                                                                         \
       &ThreeVectorOutsideGuards},                                                                 \
      {Slot::KMMatrixRotationAxis,                                                                 \
       "axis normalised through KMVec3Normalize: zero below 2^-46",                                \
       {},                                                                                         \
       &ThreeVectorOutsideGuards},                                                                 \
      {Slot::KMVec4Normalize, "no zero test", {}, &FourVectorWithoutLength},                       \
      {Slot::KMQuaternionNormalize, "no zero test", {}, &FourVectorWithoutLength},                 \
      {Slot::KMMatrixInverse,                                                                      \
       "zero or NaN determinant: the determinant is not stored; single-precision cofactors",       \
       kSingleCancellation, &NearlySingular},                                                      \
      {Slot::KMMatrixDeterminant, "single-precision minors", kSingleCancellation},                 \
      {Slot::KMVec4Cross, "single-precision minors", kSingleCancellation},                         \
      KUBIK_SSE_CANCELS(KMVec2Hermite, "spline weights", (&SplineCancels<2, kHermiteRows>)),       \
      KUBIK_SSE_CANCELS(KMVec3Hermite, "spline weights", (&SplineCancels<3, kHermiteRows>)),       \
      KUBIK_SSE_CANCELS(KMVec4Hermite, "spline weights", (&SplineCancels<4, kHermiteRows>)),       \
      KUBIK_SSE_CANCELS(KMVec2CatmullRom, "spline weights", (&SplineCancels<2, kCatmullRomRows>)), \
      KUBIK_SSE_CANCELS(KMVec3CatmullRom, "spline weights", (&SplineCancels<3, kCatmullRomRows>)), \
      KUBIK_SSE_CANCELS(KMVec4CatmullRom, "spline weights", (&SplineCancels<4, kCatmullRomRows>)), \
      KUBIK_SSE_CANCELS(KMVec2BaryCentric, "differences from V1", &BaryCentricCancels<2>),         \
      KUBIK_SSE_CANCELS(KMVec3BaryCentric, "differences from V1", &BaryCentricCancels<3>),         \
      KUBIK_SSE_CANCELS(KMVec4BaryCentric, "differences from V1", &BaryCentricCancels<4>),         \
      KUBIK_SSE_CANCELS(KMVec2TransformCoord, "w = 0 is not caught; the divided sums",             \
                        &CoordTransformCancels<2>),                                                \
      KUBIK_SSE_CANCELS(KMVec3TransformCoord, "w = 0 is not caught; the divided sums",             \
                        &CoordTransformCancels<3>),                                                \
      KUBIK_SSE_CANCELS(KMPlaneIntersectLine, "no test that t is finite; t and the point",         \
                        &IntersectionCancels),                                                     \
      {Slot::KMPlaneFromPoints,                                                                    \
       "single precision: the normal and d cancel against the points",                             \
       {8, 0x1p-12},                                                                               \
       &PlaneFromPointsCancels},                                                                   \
      KUBIK_SSE_CANCELS(KMMatrixTransformation, "products of inputs of unlike sizes",              \
                        &MixedMagnitudes),                                                         \
      KUBIK_SSE_CANCELS(KMMatrixTransformation2D, "products of inputs of unlike sizes",            \
                        &MixedMagnitudes),                                                         \
      KUBIK_SSE_CANCELS(KMMatrixAffineTransformation, "products of inputs of unlike sizes",        \
                        &MixedMagnitudes),                                                         \
      KUBIK_SSE_CANCELS(KMMatrixAffineTransformation2D, "products of inputs of unlike sizes",      \
                        &MixedMagnitudes),                                                         \
      KUBIK_SSE_CANCELS(KMQuaternionSquadSetup, "products of inputs of unlike sizes",              \
                        &MixedMagnitudes),                                                         \
      {Slot::KMMatrixShadow, "a zero normal is not normalised", {}, &PlaneWithoutNormal<4>},       \
      {Slot::KMMatrixReflect, "no zero test on the normal", {}, &PlaneWithoutNormal<0>},           \
      {Slot::KMQuaternionRotationYawPitchRoll,                                                     \
       "packed sine and cosine kernel: half angles beyond 10^4 lose accuracy",                     \
       {},                                                                                         \
       &AnglesBeyondTheKernel},                                                                    \
  {                                                                                                \
    Slot::KMMatrixRotationYawPitchRoll,                                                            \
        "packed sine and cosine kernel: half angles beyond 10^4 lose accuracy", {},                \
        &AnglesBeyondTheKernel                                                                     \
  }

// ---- The 3DNow! family ---------------------------------------------------------

float Largest(std::span<const float> v) {
  float largest = 0;
  for (float x : v) largest = std::max(largest, std::fabs(x));
  return largest;
}

// An input whose Degree-th power leaves the float range: the family's single
// precision products overflow where the reference's double ones do not.
template <int Degree>
bool OverflowsFloat(std::span<const float> v) {
  return Largest(v) >= std::exp2(126.0f / Degree);
}

// Inputs of widely different magnitudes: single-precision sums lose the
// small ones that the reference keeps.
float Spread(std::span<const float> v) {
  float smallest = INFINITY;
  for (float x : v) {
    if (x != 0) smallest = std::min(smallest, std::fabs(x));
  }
  return Largest(v) / smallest;
}
bool WideSpread(std::span<const float> v) {
  return Spread(v) > 0x1p20f;
}

bool AnyNotFinite(std::span<const float> v) {
  for (float x : v) {
    if (!std::isfinite(x)) return true;
  }
  return false;
}

// 3DNow! arithmetic has no infinities and NaNs of its own, and the family
// makes no promise for them; nor for products that overflow.
bool Degenerate2(std::span<const float> v) {
  return AnyNotFinite(v) || OverflowsFloat<2>(v);
}
bool Degenerate4(std::span<const float> v) {
  return AnyNotFinite(v) || OverflowsFloat<4>(v);
}

// The trigonometric kernels are specified for |angle| <= 1000.
bool AngleBeyondKernels(std::span<const float> angles) {
  return AnyNotFinite(angles) || Largest(angles) > 1000;
}
bool RotationAngleBeyondKernels(std::span<const float> v) {
  return AngleBeyondKernels(v.subspan(0, 1));
}
bool YawPitchRollBeyondKernels(std::span<const float> v) {
  return AngleBeyondKernels(v.subspan(0, 3));
}
bool AxisAngleBeyondKernels(std::span<const float> v) {
  return Degenerate2(v.subspan(0, 3)) || AngleBeyondKernels(v.subspan(3, 1));
}

// |w| above 1 (or NaN): the arccosine kernel gives 0 where acos gives NaN.
bool WOutsideArcCosine(std::span<const float> q) {
  return !(std::fabs(q[3]) <= 1) || Degenerate2(q);
}

// The 4-D cross product's minors and the coordinate transforms' w cancel in
// single precision; the error follows the cancelled terms, not the result.
constexpr Tolerance kCancelling{4, 0x1p-16};

// An array coordinate transform whose matrix has a zero fourth column: w is
// 0 for every element, and the refined 1/w is NaN, not infinity.
bool ArrayWAlwaysZero(std::span<const float> v) {
  const std::span<const float> m = v.subspan(v.size() - 16);
  return (m[3] == 0 && m[7] == 0 && m[11] == 0 && m[15] == 0) || Degenerate2(v);
}

// The viewport's integer fields (inputs 3 to 6, after the point) read by the
// packed conversion, which takes them as signed.
bool ViewportFieldsFromTwoTo31(std::span<const float> v) {
  for (int i = 3; i < 7; ++i) {
    if (std::bit_cast<std::uint32_t>(v[i]) >= 0x80000000u) return true;
  }
  return Degenerate4(v);
}

// Edges formed in single precision: a triangle small against its distance
// from the origin, or nearly degenerate, loses its normal's direction.
bool IllConditionedTriangle(std::span<const float> p) {
  double e[3], f[3], largest = 0;
  for (int i = 0; i < 3; ++i) {
    e[i] = double{p[i]} - p[3 + i];
    f[i] = double{p[i]} - p[6 + i];
    largest = std::max({largest, std::fabs(double{p[i]}), std::fabs(double{p[3 + i]}),
                        std::fabs(double{p[6 + i]})});
  }
  const double n[3] = {e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2],
                       e[0] * f[1] - e[1] * f[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  const double span = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]) +
                      std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  return !(largest * span < 0x1p4 * length) || Degenerate2(p);
}

// The reference returns null when t is not finite; the family does not test t.
bool IntersectionTNotFinite(std::span<const float> v) {
  const double a = v[0], b = v[1], c = v[2], d = v[3];
  const double p1 = a * v[4] + b * v[5] + c * v[6], p2 = a * v[7] + c * v[9] + b * v[8];
  return p1 != p2 && !std::isfinite(static_cast<float>((p1 + d) / (p1 - p2)));
}
// The denominator's terms cancel in single precision.
bool IntersectionDenominatorCancels(std::span<const float> v) {
  const double a = v[0], b = v[1], c = v[2];
  const double terms = std::fabs(a * v[4]) + std::fabs(b * v[5]) + std::fabs(c * v[6]) +
                       std::fabs(a * v[7]) + std::fabs(b * v[8]) + std::fabs(c * v[9]);
  const double denominator = (a * v[4] + b * v[5] + c * v[6]) - (a * v[7] + b * v[8] + c * v[9]);
  return std::fabs(denominator) < terms / 8;
}
bool IntersectionDiffers(std::span<const float> v) {
  return IntersectionTNotFinite(v) || Degenerate2(v) || WideSpread(v) ||
         IntersectionDenominatorCancels(v);
}

// Where the family's slerp is documented to differ: a dot product (formed
// in single precision) that is not above 0 takes the other arc even at 0,
// and every |dot| above 0.9999899864196777 keeps the linear weights. Far
// outside [0, 1] (|t| above 4) the weights' angles are formed in single
// precision.
bool SlerpDiffers(const KMQUATERNION& a, const KMQUATERNION& b, float t) {
  const float dot = (a.x * b.x + a.z * b.z) + (a.y * b.y + a.w * b.w);
  const double exact =
      double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z + double{a.w} * b.w;
  const float magnitude = std::fabs(dot);
  return !(dot > 0) || exact <= 0 ||
         (magnitude > 0.9999899864196777f && 1 - magnitude > 0x1p-23f) || !(std::fabs(t) <= 4) ||
         (magnitude > 1 && std::fabs(exact) <= 1);
}

KMQUATERNION Quaternion(std::span<const float> v, std::size_t at) {
  return KMQUATERNION(v[at], v[at + 1], v[at + 2], v[at + 3]);
}

template <bool (*Differs)(const KMQUATERNION&, const KMQUATERNION&, float)>
bool SlerpCaseDiffersBy(std::span<const float> v) {
  return Degenerate2(v) || Differs(Quaternion(v, 0), Quaternion(v, 4), v[8]);
}
template <bool (*Differs)(const KMQUATERNION&, const KMQUATERNION&, float)>
bool SquadCaseDiffersBy(std::span<const float> v) {
  if (Degenerate2(v)) return true;
  const KMQUATERNION q1 = Quaternion(v, 0), a = Quaternion(v, 4), b = Quaternion(v, 8),
                     c = Quaternion(v, 12);
  const float t = v[16];
  KMQUATERNION outer, inner;
  reference::KMQuaternionSlerp(&outer, &q1, &c, t);
  reference::KMQuaternionSlerp(&inner, &a, &b, t);
  const float u = static_cast<float>((1.0 - t) * t * 2.0);
  return Differs(q1, c, t) || Differs(a, b, t) || Differs(outer, inner, u);
}
template <bool (*Differs)(const KMQUATERNION&, const KMQUATERNION&, float)>
bool BaryCentricCaseDiffersBy(std::span<const float> v) {
  if (Degenerate2(v)) return true;
  const KMQUATERNION q1 = Quaternion(v, 0), q2 = Quaternion(v, 4), q3 = Quaternion(v, 8);
  const float f = v[12], g = v[13], s = f + g;
  if (std::fabs(s) <= 0x1p-20f) return true;
  KMQUATERNION p, r;
  reference::KMQuaternionSlerp(&p, &q1, &q2, s);
  reference::KMQuaternionSlerp(&r, &q1, &q3, s);
  return Differs(q1, q2, s) || Differs(q1, q3, s) ||
         Differs(p, r, static_cast<float>(double{g} / s)) || !(std::fabs(g / s) <= 4);
}
constexpr auto SlerpCaseDiffers = &SlerpCaseDiffersBy<&SlerpDiffers>;
constexpr auto SquadCaseDiffers = &SquadCaseDiffersBy<&SlerpDiffers>;
constexpr auto BaryCentricCaseDiffers = &BaryCentricCaseDiffersBy<&SlerpDiffers>;

// Spline weights in single precision: far outside [0, 1] (|s| above 2) the
// terms in s^3 cancel.
bool SplineFar(std::span<const float> v) {
  return !(std::fabs(v.back()) <= 2) || Degenerate4(v);
}

// Weighted sums of points whose result is far smaller than the points: the
// single-precision terms cancel. N components per point, four points and s.
template <int N>
bool SplineCancels(std::span<const float> v, bool hermite) {
  if (SplineFar(v)) return true;
  const double s = v.back(), s2 = s * s, s3 = s2 * s;
  const double w[4] = {hermite ? 2 * s3 - 3 * s2 + 1 : 0.5 * (2 * s2 - s3 - s),
                       hermite ? s3 - 2 * s2 + s : 0.5 * (3 * s3 - 5 * s2 + 2),
                       hermite ? 3 * s2 - 2 * s3 : 0.5 * (4 * s2 - 3 * s3 + s),
                       hermite ? s3 - s2 : 0.5 * (s3 - s2)};
  double result = 0;
  for (int c = 0; c < N; ++c) {
    double sum = 0;
    for (int j = 0; j < 4; ++j) sum += w[j] * v[static_cast<std::size_t>(j * N + c)];
    result = std::max(result, std::fabs(sum));
  }
  return Largest(v.first(4 * N)) > 4 * result;
}
template <int N>
bool HermiteCancels(std::span<const float> v) {
  return SplineCancels<N>(v, true);
}
template <int N>
bool CatmullRomCancels(std::span<const float> v) {
  return SplineCancels<N>(v, false);
}

// The rotation about a centre, -c R + c, cancels when the centre is far
// larger than what is left of it.
bool AffineCentreCancels(std::span<const float> v) {
  if (Degenerate4(v)) return true;
  KMMATRIX m;
  const KMVECTOR3 centre(v[1], v[2], v[3]), translation(v[8], v[9], v[10]);
  const KMQUATERNION rotation = Quaternion(v, 4);
  reference::KMMatrixAffineTransformation(&m, v[0], &centre, &rotation, &translation);
  const float row = std::max({std::fabs(m._41), std::fabs(m._42), std::fabs(m._43), 1.0f});
  return Largest(v.subspan(1, 3)) > 16 * row;
}

// d = -(n . V1) in single precision cancels when V1 lies far from the
// origin compared with the plane's distance.
bool PlaneFromPointsDiffers(std::span<const float> p) {
  if (IllConditionedTriangle(p)) return true;
  KMPLANE plane;
  const KMVECTOR3 v1(p[0], p[1], p[2]), v2(p[3], p[4], p[5]), v3(p[6], p[7], p[8]);
  reference::KMPlaneFromPoints(&plane, &v1, &v2, &v3);
  return Largest(p.subspan(0, 3)) > 2 * std::max(1.0f, std::fabs(plane.d));
}

// out = V1 + t (V2 - V1) in single precision cancels when the point found
// lies much nearer the origin than V1 or V2.
bool IntersectionFarFromPoints(std::span<const float> v) {
  if (IntersectionDiffers(v)) return true;
  KMVECTOR3 out;
  const KMPLANE plane(v[0], v[1], v[2], v[3]);
  const KMVECTOR3 v1(v[4], v[5], v[6]), v2(v[7], v[8], v[9]);
  if (reference::KMPlaneIntersectLine(&out, &plane, &v1, &v2) == nullptr) return false;
  const float found = std::max({std::fabs(out.x), std::fabs(out.y), std::fabs(out.z), 1.0f});
  return Largest(v.subspan(4, 6)) > 8 * found;
}

bool ViewportCaseDiffers(std::span<const float> v) {
  return ViewportFieldsFromTwoTo31(v) || WideSpread(v);
}

// The exponential's angle |v| is itself rounded to single precision; past a
// few turns that rounding outweighs the kernels' accuracy.
bool ExpAngleBeyondTurns(std::span<const float> q) {
  return Degenerate2(q) ||
         std::sqrt(double{q[0]} * q[0] + double{q[1]} * q[1] + double{q[2]} * q[2]) > 8;
}

// The squad set-up's logarithms see q^-1 * neighbour: where its w lies
// outside [-1, 1], or q's squared length between the two inverse guards,
// the family is documented to differ.
bool SquadSetupDiffers(std::span<const float> v) {
  if (Degenerate2(v)) return true;
  KMQUATERNION p[4];
  for (int i = 0; i < 4; ++i) p[i] = Quaternion(v, 4 * static_cast<std::size_t>(i));
  for (int centre = 1; centre <= 2; ++centre) {
    const KMQUATERNION& q = p[centre];
    const double length_sq =
        double{q.x} * q.x + double{q.y} * q.y + double{q.z} * q.z + double{q.w} * q.w;
    if (length_sq <= 0x1p-60) return true;
    KMQUATERNION inverse;
    reference::KMQuaternionInverse(&inverse, &q);
    for (int side : {-1, 1}) {
      KMQUATERNION to;
      reference::KMQuaternionMultiply(&to, &inverse, &p[centre + side]);
      if (!(std::fabs(to.w) <= 0.999f)) return true;
    }
  }
  return false;
}

// The kernels' absolute errors (about 3e-7) carried into the weights.
constexpr Tolerance kKernelWeights{4, 0x1p-17};

// The reference's composites reach the family through the public entries
// and inherit its differences: overflow, the kernels' range, and the AMD
// coordinate arrays' NaN for w = 0.
// Their centres, products and inverses cancel in single precision when the
// inputs' magnitudes are far apart.
bool CompositeDegenerate(std::span<const float> v) {
  return Degenerate4(v) || Spread(v) > 0x1p14f;
}
bool Composite2DDiffers(std::span<const float> v) {
  return CompositeDegenerate(v) || AngleBeyondKernels(v);
}
bool ProjectionArrayDiffers(std::span<const float> v) {
  if (CompositeDegenerate(v)) return true;
  // Any matrix with a zero fourth column can make w = 0.
  for (std::size_t m = v.size() - 48; m < v.size(); m += 16) {
    if (v[m + 3] == 0 && v[m + 7] == 0 && v[m + 11] == 0 && v[m + 15] == 0) return true;
  }
  return false;
}

constexpr DocumentedDifference k3DNowDifferences[] = {
    {Slot::KMVec2TransformCoord, "1/w in single precision after cancellation in w", kCancelling,
     &Degenerate2},
    {Slot::KMVec3TransformCoord, "1/w in single precision after cancellation in w", kCancelling,
     &Degenerate2},
    {Slot::KMMatrixDeterminant, "single-precision cofactors; overflow", {4, 0x1p-12}, &Degenerate4},
    {Slot::KMPlaneFromPoints,
     "edges, normal and d in single precision",
     {},
     &PlaneFromPointsDiffers},
    {Slot::KMVec3Project, "viewport fields read as signed; overflow", kCancelling,
     &ViewportCaseDiffers},
    {Slot::KMVec3Unproject,
     "viewport fields read as signed; single-precision inverse",
     {4, 0x1p-12},
     &ViewportCaseDiffers},
    {Slot::KMVec4Cross, "minors cancel in single precision", kCancelling, &Degenerate4},
    {Slot::KMVec2Hermite, "spline weights and sums in single precision", {}, &HermiteCancels<2>},
    {Slot::KMVec3Hermite, "spline weights and sums in single precision", {}, &HermiteCancels<3>},
    {Slot::KMVec4Hermite, "spline weights and sums in single precision", {}, &HermiteCancels<4>},
    {Slot::KMVec2CatmullRom,
     "spline weights and sums in single precision",
     {},
     &CatmullRomCancels<2>},
    {Slot::KMVec3CatmullRom,
     "spline weights and sums in single precision",
     {},
     &CatmullRomCancels<3>},
    {Slot::KMVec4CatmullRom,
     "spline weights and sums in single precision",
     {},
     &CatmullRomCancels<4>},
    {Slot::KMVec2BaryCentric, "single-precision differences", {}, &WideSpread},
    {Slot::KMVec3BaryCentric, "single-precision differences", {}, &WideSpread},
    {Slot::KMVec4BaryCentric, "single-precision differences", {}, &WideSpread},
    {Slot::KMMatrixInverse, "single-precision cofactors", {4, 0x1p-12}, &Degenerate4},
    {Slot::KMPlaneIntersectLine,
     "no test that t is finite; single-precision point",
     {},
     &IntersectionFarFromPoints},
    {Slot::KMQuaternionToAxisAngle,
     "2 * ScalarArcCosine(w): 0 for |w| > 1",
     {},
     &WOutsideArcCosine},
    {Slot::KMQuaternionRotationMatrix, "non-finite input", {}, &Degenerate2},
    {Slot::KMQuaternionRotationYawPitchRoll,
     "angles beyond the kernels",
     {},
     &YawPitchRollBeyondKernels},
    {Slot::KMMatrixRotationYawPitchRoll,
     "angles beyond the kernels",
     {},
     &YawPitchRollBeyondKernels},
    {Slot::KMQuaternionRotationAxis, "angle beyond the kernels", {}, &AxisAngleBeyondKernels},
    {Slot::KMMatrixRotationAxis, "angle beyond the kernels", {}, &AxisAngleBeyondKernels},
    {Slot::KMMatrixRotationX, "angle beyond the kernels", {}, &RotationAngleBeyondKernels},
    {Slot::KMMatrixRotationY, "angle beyond the kernels", {}, &RotationAngleBeyondKernels},
    {Slot::KMMatrixRotationZ, "angle beyond the kernels", {}, &RotationAngleBeyondKernels},
    {Slot::KMQuaternionSlerp, "zero dot takes the other arc; linear above 0.99999", kKernelWeights,
     SlerpCaseDiffers},
    {Slot::KMQuaternionSquad, "its slerps' differences", kKernelWeights, SquadCaseDiffers},
    {Slot::KMQuaternionBaryCentric, "its slerps' differences; no test of f + g", kKernelWeights,
     BaryCentricCaseDiffers},
    {Slot::KMMatrixAffineTransformation,
     "rotation about the centre in single precision",
     {},
     &AffineCentreCancels},
    {Slot::KMQuaternionLn, "ScalarArcCosine(w): 0 for |w| > 1", {}, &WOutsideArcCosine},
    {Slot::KMQuaternionExp, "single-precision angle beyond a few turns", kKernelWeights,
     &ExpAngleBeyondTurns},
    {Slot::KMQuaternionSquadSetup, "its logarithms' and inverses' differences", kKernelWeights,
     &SquadSetupDiffers},
    {Slot::KMMatrixTransformation, "through the family's products", {}, &CompositeDegenerate},
    {Slot::KMVec3ProjectArray,
     "through the family's inverse and arrays",
     {4, 0x1p-12},
     &ProjectionArrayDiffers},
    {Slot::KMVec3UnprojectArray,
     "through the family's inverse and arrays",
     {4, 0x1p-12},
     &ProjectionArrayDiffers},
    {Slot::KMMatrixTransformation2D, "through the family's rotations", {}, &Composite2DDiffers},
    {Slot::KMMatrixAffineTransformation2D,
     "through the family's rotations",
     {},
     &Composite2DDiffers},
    {Slot::KMVec2TransformCoordArray, "w zero throughout; cancellation in w", kCancelling,
     &ArrayWAlwaysZero},
    {Slot::KMVec3TransformCoordArray, "w zero throughout; cancellation in w", kCancelling,
     &ArrayWAlwaysZero},
};

// ---- SSE and SSE2 family tables (after the 3DNow! helpers they share) -------

// Projection composites reach the sets' products, inverse and coordinate
// transforms through the public entries: overflow, non-finite inputs and a
// matrix whose zero fourth column makes w = 0 are not compared.
bool ProjectionThroughSingle(std::span<const float> v) {
  if (Degenerate4(v)) return true;
  for (std::size_t m = v.size() - 48; m < v.size(); m += 16) {
    if (v[m + 3] == 0 && v[m + 7] == 0 && v[m + 11] == 0 && v[m + 15] == 0) return true;
  }
  return false;
}
// Projecting forward divides by a w that cancels when the inputs' sizes lie
// far apart; unprojecting inverts the single-precision product as well.
bool ProjectThroughSingle(std::span<const float> v) {
  return ProjectionThroughSingle(v) || WideSpread(v);
}
bool UnprojectThroughSingle(std::span<const float> v) {
  return ProjectionThroughSingle(v) || CompositeDegenerate(v);
}

// The batch operations of the SSE and SSE2 families.
bool AnyNegativeZero(std::span<const float> inputs) {
  for (float f : inputs) {
    if (f == 0.0f && std::signbit(f)) return true;
  }
  return false;
}

constexpr Tolerance kRefinedReciprocal{8, 0x1p-21};
constexpr Tolerance kNPatchSingle{8, 0x1p-20};
// Random matrices make w cancel; the error follows the cancelled terms.
constexpr Tolerance kArrayCancelling{8, 0x1p-12};

#define KUBIK_SSE_BATCH_DIFFERENCES                                                             \
  {Slot::KMVec2TransformCoordArray,                                                             \
   "blocks of four: w cancels in single precision, refined reciprocal of w", kArrayCancelling}, \
      {Slot::KMVec3TransformCoordArray,                                                         \
       "blocks of four: w cancels in single precision, refined reciprocal of w",                \
       kArrayCancelling},                                                                       \
      {Slot::KMVec2TransformCoordArray,                                                         \
       "blocks of four do not catch w = 0",                                                     \
       {},                                                                                      \
       &ArrayWAlwaysZero},                                                                      \
      {Slot::KMVec3TransformCoordArray,                                                         \
       "blocks of four do not catch w = 0",                                                     \
       {},                                                                                      \
       &ArrayWAlwaysZero},                                                                      \
      {Slot::SkinnedMeshBlend,                                                                  \
       "positions divide by w through the refined reciprocal estimate, also when w is 1",       \
       kRefinedReciprocal},                                                                     \
      {Slot::SkinnedMeshBlend,                                                                  \
       "an influence entry of -0.0 ends the run instead of counting as bone 0",                 \
       {},                                                                                      \
       &AnyNegativeZero},                                                                       \
  {                                                                                             \
    Slot::NPatchTessellate,                                                                     \
        "control net and basis in single precision: cancellation in the edge points",           \
        kNPatchSingle                                                                           \
  }

#define KUBIK_SSE_PROJECTION_DIFFERENCES                                                 \
  {Slot::KMVec3Project,                                                                  \
   "through the family's products and coordinate transform",                             \
   {4, 0x1p-12},                                                                         \
   &ProjectThroughSingle},                                                               \
      {Slot::KMVec3Unproject,                                                            \
       "through the family's inverse and coordinate transform",                          \
       {4, 0x1p-12},                                                                     \
       &UnprojectThroughSingle},                                                         \
      {Slot::KMVec3ProjectArray,                                                         \
       "through the family's products and arrays",                                       \
       {4, 0x1p-12},                                                                     \
       &ProjectThroughSingle},                                                           \
  {                                                                                      \
    Slot::KMVec3UnprojectArray, "through the family's inverse and arrays", {4, 0x1p-12}, \
        &UnprojectThroughSingle                                                          \
  }

constexpr DocumentedDifference kSseDifferences[] = {
    KUBIK_SSE_SHARED_DIFFERENCES,
    KUBIK_SSE_PROJECTION_DIFFERENCES,
    KUBIK_SSE_BATCH_DIFFERENCES,
    KUBIK_SSE_UNRELATED(KMVec2TransformCoordArray),
    KUBIK_SSE_UNRELATED(KMVec3TransformCoordArray),
    {Slot::KMQuaternionInverse,
     "single precision: values beyond its range, or not finite",
     {},
     &Unrelated},
    {Slot::KMQuaternionInverse, "no zero test", {}, &QuaternionWithoutInverse},
    {Slot::KMQuaternionSquadSetup,
     "inverses through the SSE quaternion inverse: no zero test",
     {},
     &SquadInvertsWithoutGuard},
};

// The SSE2 set keeps the reference quaternion inverse.
constexpr DocumentedDifference kSse2Differences[] = {
    KUBIK_SSE_SHARED_DIFFERENCES, KUBIK_SSE_PROJECTION_DIFFERENCES, KUBIK_SSE_BATCH_DIFFERENCES,
    KUBIK_SSE_UNRELATED(KMVec2TransformCoordArray), KUBIK_SSE_UNRELATED(KMVec3TransformCoordArray)};

#undef KUBIK_SSE_SHARED_DIFFERENCES
#undef KUBIK_SSE_PROJECTION_DIFFERENCES
#undef KUBIK_SSE_BATCH_DIFFERENCES
#undef KUBIK_SSE_UNRELATED
#undef KUBIK_SSE_CANCELS

// ---- AVX2 and AVX-512 ------------------------------------------------------------
// Single precision with fused multiply-adds; the slots the families leave
// to the SSE2 set keep that set's differences.

// The family's slerp forms its dot product in single precision: near 0 it
// may take the other arc. Far outside [0, 1] (|t| above 4) the rounding of
// the angle, which the reference rounds to float too but not to the same
// float, is multiplied by t.
bool FusedSlerpDiffers(const KMQUATERNION& a, const KMQUATERNION& b, float t) {
  const double exact =
      double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z + double{a.w} * b.w;
  const double terms = std::fabs(double{a.x} * b.x) + std::fabs(double{a.y} * b.y) +
                       std::fabs(double{a.z} * b.z) + std::fabs(double{a.w} * b.w);
  return !(std::fabs(exact) > 0x1p-20 * terms) || !(std::fabs(t) <= 4);
}

// The weights' angles are single precision: a few units of 2^-24 relative
// to the angle, carried into the largest output by weights up to about 3.
constexpr Tolerance kFusedSlerpWeights{8, 0x1p-17};

#define KUBIK_FUSED_UNRELATED(slot) \
  { Slot::slot, "single precision: values beyond its range, or not finite", {}, &Unrelated }

constexpr DocumentedDifference kAvx2Differences[] = {
    KUBIK_FUSED_UNRELATED(KMVec2Transform),
    KUBIK_FUSED_UNRELATED(KMVec3Transform),
    KUBIK_FUSED_UNRELATED(KMVec4Transform),
    KUBIK_FUSED_UNRELATED(KMPlaneTransform),
    KUBIK_FUSED_UNRELATED(KMMatrixMultiply),
    KUBIK_FUSED_UNRELATED(KMMatrixMultiplyTranspose),
    KUBIK_FUSED_UNRELATED(KMVec2TransformNormal),
    KUBIK_FUSED_UNRELATED(KMVec3TransformNormal),
    KUBIK_FUSED_UNRELATED(KMVec2TransformCoord),
    KUBIK_FUSED_UNRELATED(KMVec3TransformCoord),
    KUBIK_FUSED_UNRELATED(KMVec2Normalize),
    KUBIK_FUSED_UNRELATED(KMVec3Normalize),
    KUBIK_FUSED_UNRELATED(KMVec4Normalize),
    KUBIK_FUSED_UNRELATED(KMQuaternionNormalize),
    KUBIK_FUSED_UNRELATED(KMPlaneNormalize),
    KUBIK_FUSED_UNRELATED(KMQuaternionMultiply),
    KUBIK_FUSED_UNRELATED(KMMatrixRotationQuaternion),
    KUBIK_FUSED_UNRELATED(KMMatrixInverse),
    {Slot::KMMatrixInverse, "single-precision cofactors of a nearly singular matrix",
     kSingleCancellation, &NearlySingular},
    {Slot::KMQuaternionRotationYawPitchRoll,
     "the family's sine and cosine: half angles beyond 10^4 lose accuracy",
     {},
     &AnglesBeyondTheKernel},
    {Slot::KMMatrixRotationYawPitchRoll,
     "the family's sine and cosine: half angles beyond 10^4 lose accuracy",
     {},
     &AnglesBeyondTheKernel},
    {Slot::KMVec2TransformCoordArray, "random matrices make w cancel in single precision",
     kArrayCancelling},
    {Slot::KMVec3TransformCoordArray, "random matrices make w cancel in single precision",
     kArrayCancelling},
    KUBIK_FUSED_UNRELATED(KMVec2TransformCoordArray),
    KUBIK_FUSED_UNRELATED(KMVec3TransformCoordArray),
    {Slot::KMQuaternionSlerp, "single-precision dot product, angle and sine arguments",
     kFusedSlerpWeights, SlerpCaseDiffersBy<&FusedSlerpDiffers>},
    {Slot::KMQuaternionSquad, "its slerps' differences", kFusedSlerpWeights,
     SquadCaseDiffersBy<&FusedSlerpDiffers>},
    {Slot::KMQuaternionBaryCentric, "its slerps' differences", kFusedSlerpWeights,
     BaryCentricCaseDiffersBy<&FusedSlerpDiffers>},
};

#undef KUBIK_FUSED_UNRELATED

constexpr FamilyConformance kFamilies[] = {
    {"reference", kExact, {}},
    {"x87", kX87, kX87Differences},
    {"sse", kSinglePrecision, kSseDifferences, "x87"},
    {"sse2", kSinglePrecision, kSse2Differences, "x87"},
    {"3dnow", kSinglePrecision, k3DNowDifferences, "x87"},
    {"avx2", kSinglePrecision, kAvx2Differences, "sse2"},
    {"avx512", kSinglePrecision, kAvx2Differences, "sse2"},
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
