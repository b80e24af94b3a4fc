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

bool SlerpCaseDiffers(std::span<const float> v) {
  return Degenerate2(v) || SlerpDiffers(Quaternion(v, 0), Quaternion(v, 4), v[8]);
}

// Squad and the barycentric form: the same at each slerp they compose
// (computed with the reference's intermediate results).
bool SquadCaseDiffers(std::span<const float> v) {
  if (Degenerate2(v)) return true;
  const KMQUATERNION q1 = Quaternion(v, 0), a = Quaternion(v, 4), b = Quaternion(v, 8),
                     c = Quaternion(v, 12);
  const float t = v[16];
  KMQUATERNION outer, inner;
  reference::KMQuaternionSlerp(&outer, &q1, &c, t);
  reference::KMQuaternionSlerp(&inner, &a, &b, t);
  const float u = static_cast<float>((1.0 - t) * t * 2.0);
  return SlerpDiffers(q1, c, t) || SlerpDiffers(a, b, t) || SlerpDiffers(outer, inner, u);
}

// Also: no test of f + g, which the reference treats as 0 within 2^-23.
bool BaryCentricCaseDiffers(std::span<const float> v) {
  if (Degenerate2(v)) return true;
  const KMQUATERNION q1 = Quaternion(v, 0), q2 = Quaternion(v, 4), q3 = Quaternion(v, 8);
  const float f = v[12], g = v[13], s = f + g;
  if (std::fabs(s) <= 0x1p-20f) return true;
  KMQUATERNION p, r;
  reference::KMQuaternionSlerp(&p, &q1, &q2, s);
  reference::KMQuaternionSlerp(&r, &q1, &q3, s);
  return SlerpDiffers(q1, q2, s) || SlerpDiffers(q1, q3, s) ||
         SlerpDiffers(p, r, static_cast<float>(double{g} / s)) || !(std::fabs(g / s) <= 4);
}

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
     &SlerpCaseDiffers},
    {Slot::KMQuaternionSquad, "its slerps' differences", kKernelWeights, &SquadCaseDiffers},
    {Slot::KMQuaternionBaryCentric, "its slerps' differences; no test of f + g", kKernelWeights,
     &BaryCentricCaseDiffers},
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

constexpr FamilyConformance kFamilies[] = {
    {"reference", kExact, {}},
    {"x87", kX87, kX87Differences},
    {"sse", kSinglePrecision, {}, "x87"},
    {"sse2", kSinglePrecision, {}, "x87"},
    {"3dnow", kSinglePrecision, k3DNowDifferences, "x87"},
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
