// What each family may differ by from the reference, listed once per family.
#include <algorithm>
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

constexpr DocumentedDifference kSseDifferences[] = {
    KUBIK_SSE_SHARED_DIFFERENCES,
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
constexpr DocumentedDifference kSse2Differences[] = {KUBIK_SSE_SHARED_DIFFERENCES};

#undef KUBIK_SSE_SHARED_DIFFERENCES
#undef KUBIK_SSE_UNRELATED
#undef KUBIK_SSE_CANCELS

constexpr FamilyConformance kFamilies[] = {
    {"reference", kExact, {}},
    {"x87", kX87, kX87Differences},
    {"sse", kSinglePrecision, kSseDifferences, "x87"},
    {"sse2", kSinglePrecision, kSse2Differences, "x87"},
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
