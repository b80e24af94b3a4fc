// View and projection builders. Not dispatched: each public entry is the
// reference body itself. Elements are formed in double and rounded once when
// stored, except where a value is rounded to float on purpose (noted).
#include <kubik/kmath.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/dispatch/operation_table.h"
#if defined(__x86_64__)
#include "math/simd/avx2/family.h"
#include "math/simd/avx2/view.h"
#endif

namespace {

void SetZero(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = 0.0f;
  }
}

// The look-at builders. The two normalisations use the Vec3 normaliser
// installed for the process, fetched once from the table its public entry
// jumps through. Where that is the AVX2 family's, its builder runs instead:
// the same arithmetic with that normaliser inlined and nothing through memory.
using Vec3Normalizer = kubik::SlotTraits<kubik::Slot::KMVec3Normalize>::Function;

// Out of line, so that the AVX2 builder's path saves no registers.
[[gnu::noinline]] KMMATRIX* LookAtThrough(Vec3Normalizer normalize, KMMATRIX* out,
                                          const KMVECTOR3* eye, const KMVECTOR3* at,
                                          const KMVECTOR3* up, bool right_handed) {
  // The forward axis: float differences, the same as double ones rounded to
  // float.
  KMVECTOR3 z = right_handed ? KMVECTOR3(eye->x - at->x, eye->y - at->y, eye->z - at->z)
                             : KMVECTOR3(at->x - eye->x, at->y - eye->y, at->z - eye->z);
  normalize(&z, &z);
  KMVECTOR3 x(static_cast<float>(double{up->y} * z.z - double{up->z} * z.y),
              static_cast<float>(double{up->z} * z.x - double{up->x} * z.z),
              static_cast<float>(double{up->x} * z.y - double{up->y} * z.x));
  normalize(&x, &x);
  const KMVECTOR3 y(static_cast<float>(double{z.y} * x.z - double{z.z} * x.y),
                    static_cast<float>(double{z.z} * x.x - double{z.x} * x.z),
                    static_cast<float>(double{z.x} * x.y - double{z.y} * x.x));
  auto dot_eye = [eye](const KMVECTOR3& a) {
    return double{a.x} * eye->x + double{a.y} * eye->y + double{a.z} * eye->z;
  };
  const double tx = -dot_eye(x), ty = -dot_eye(y), tz = -dot_eye(z);
  *out = KMMATRIX(x.x, y.x, z.x, 0.0f,  //
                  x.y, y.y, z.y, 0.0f,  //
                  x.z, y.z, z.z, 0.0f,  //
                  static_cast<float>(tx), static_cast<float>(ty), static_cast<float>(tz), 1.0f);
  return out;
}

[[gnu::always_inline]] inline KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye,
                                               const KMVECTOR3* at, const KMVECTOR3* up,
                                               bool right_handed) {
  const Vec3Normalizer normalize =
      kubik::ProcessOperationTable().Get<kubik::Slot::KMVec3Normalize>();
#if defined(__x86_64__)
  if (normalize == &kubik::avx2::KMVec3Normalize) {
    return kubik::avx2::LookAt(out, eye, at, up, right_handed);
  }
#endif
  return LookAtThrough(normalize, out, eye, at, up, right_handed);
}

// Perspective depth terms: view depth zn (or -zn) maps to 0, zf (or -zf) to
// 1, with w taking z (or -z). _43 is derived from the unrounded _33.
void PerspectiveDepth(KMMATRIX* out, double zn, double zf, bool right_handed) {
  const double q = right_handed ? zf / (zn - zf) : zf / (zf - zn);
  out->_33 = static_cast<float>(q);
  out->_34 = right_handed ? -1.0f : 1.0f;
  out->_43 = static_cast<float>(right_handed ? zn * q : -zn * q);
}

void OrthoDepth(KMMATRIX* out, double zn, double zf, bool right_handed) {
  const double q = right_handed ? 1.0 / (zn - zf) : 1.0 / (zf - zn);
  out->_33 = static_cast<float>(q);
  out->_43 = static_cast<float>(right_handed ? zn * q : -zn * q);
  out->_44 = 1.0f;
}

// Two doubles in one register (SSE2, NEON): the sine and the cosine
// polynomials run side by side.
typedef double Double2 __attribute__((vector_size(16)));

// {sin r, cos r} for |r| <= 0.79 from their Taylor series to r^13 and r^14.
// Measured on every float argument against the C library, both stay within
// 184 ulps of a double (the first omitted terms, about 2^-45 of the result).
Double2 SineCosinePolynomial(double r) {
  const double r2 = r * r;
  const Double2 z = {r2, r2};
  Double2 p = {1.0 / 6227020800.0, -1.0 / 87178291200.0};  // 1/13!, -1/14!
  p = p * z + Double2{-1.0 / 39916800.0, 1.0 / 479001600.0};
  p = p * z + Double2{1.0 / 362880.0, -1.0 / 3628800.0};
  p = p * z + Double2{-1.0 / 5040.0, 1.0 / 40320.0};
  p = p * z + Double2{1.0 / 120.0, -1.0 / 720.0};
  p = p * z + Double2{-1.0 / 6.0, 1.0 / 24.0};  // -1/3!, 1/4!
  const Double2 head = {r, 1.0 - 0.5 * r2};
  const Double2 tail = {r * r2, r2 * r2};
  return head + tail * p;
}

// True when d lies within 512 ulps of a point halfway between two floats,
// where the polynomial's error could round it to the other float (a double
// has 2^29 ulps per float ulp, so about one value in 500000 is that close).
// Holds for results that are normal floats, as all in the polynomial's range
// are.
bool NearFloatRoundingBoundary(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  const std::uint32_t below_float = static_cast<std::uint32_t>(bits) & 0x1FFFFFFFu;
  return below_float - (0x10000000u - 512u) <= 1024u;
}

struct SineCosine {
  float s, c;
};

// The library's values: for angles outside the polynomial's range and the
// rare results next to a rounding boundary.
SineCosine LibrarySineCosine(double x) {
  return {static_cast<float>(std::sin(x)), static_cast<float>(std::cos(x))};
}

// sin(half) and cos(half), each rounded to float, exactly as the C library's
// double sine and cosine rounded to float give them. Field-of-view half
// angles (up to 135 degrees) take the polynomial, which is several times
// cheaper than the two library calls: wherever no float rounding boundary
// lies within its error, it rounds to the same floats as the library. Inlined
// into both builders, so that the arguments stay in registers.
[[gnu::always_inline]] inline SineCosine HalfAngleSineCosine(float half) {
  const double x = half;
  if (!(x >= 0x1p-60 && x <= 2.35)) return LibrarySineCosine(x);
  Double2 sc;
  if (x <= 0.78539816339744831) {
    sc = SineCosinePolynomial(x);
  } else {
    // x - pi/2 with pi/2 as two doubles; the first difference is exact.
    const Double2 shifted = SineCosinePolynomial((x - 1.5707963267948966) - 6.123233995736766e-17);
    sc = Double2{shifted[1], -shifted[0]};
  }
  if (NearFloatRoundingBoundary(sc[0]) || NearFloatRoundingBoundary(sc[1])) {
    return LibrarySineCosine(x);
  }
  return {static_cast<float>(sc[0]), static_cast<float>(sc[1])};
}

// The field-of-view forms: cot(fovy / 2) is c / s with the half angle, its
// sine and its cosine each rounded to float, the quotient not.
[[gnu::always_inline]] inline KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                       float zn, float zf, bool right_handed) {
  const SineCosine half = HalfAngleSineCosine(fovy * 0.5f);
  const double h = static_cast<double>(half.c) / half.s;
  SetZero(out);
  out->_11 = static_cast<float>(h / aspect);
  out->_22 = static_cast<float>(h);
  PerspectiveDepth(out, zn, zf, right_handed);
  return out;
}

KMMATRIX* Perspective(KMMATRIX* out, float w, float h, float zn, float zf, bool right_handed) {
  SetZero(out);
  out->_11 = static_cast<float>(2.0 * zn / w);
  out->_22 = static_cast<float>(2.0 * zn / h);
  PerspectiveDepth(out, zn, zf, right_handed);
  return out;
}

KMMATRIX* PerspectiveOffCenter(KMMATRIX* out, float l, float r, float b, float t, float zn,
                               float zf, bool right_handed) {
  const double inv_w = 1.0 / (double{r} - l);
  const double inv_h = 1.0 / (double{t} - b);
  const double sign = right_handed ? 1.0 : -1.0;
  SetZero(out);
  out->_11 = static_cast<float>(inv_w * zn * 2.0);
  out->_22 = static_cast<float>(inv_h * zn * 2.0);
  out->_31 = static_cast<float>(sign * (inv_w * (double{r} + l)));
  out->_32 = static_cast<float>(sign * (inv_h * (double{t} + b)));
  PerspectiveDepth(out, zn, zf, right_handed);
  return out;
}

KMMATRIX* Ortho(KMMATRIX* out, float w, float h, float zn, float zf, bool right_handed) {
  SetZero(out);
  out->_11 = static_cast<float>(2.0 / w);
  out->_22 = static_cast<float>(2.0 / h);
  OrthoDepth(out, zn, zf, right_handed);
  return out;
}

KMMATRIX* OrthoOffCenter(KMMATRIX* out, float l, float r, float b, float t, float zn, float zf,
                         bool right_handed) {
  const double inv_w = 1.0 / (double{r} - l);
  // This one reciprocal is rounded to float before use.
  const double inv_h = static_cast<float>(1.0 / (double{t} - b));
  SetZero(out);
  out->_11 = static_cast<float>(inv_w * 2.0);
  out->_22 = static_cast<float>(inv_h * 2.0);
  out->_41 = static_cast<float>(-(inv_w * (double{r} + l)));
  out->_42 = static_cast<float>(-(inv_h * (double{t} + b)));
  OrthoDepth(out, zn, zf, right_handed);
  return out;
}

}  // namespace

extern "C" {

KMMATRIX* KMMatrixLookAtLH(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                           const KMVECTOR3* up) {
  return LookAt(out, eye, at, up, false);
}

KMMATRIX* KMMatrixLookAtRH(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                           const KMVECTOR3* up) {
  return LookAt(out, eye, at, up, true);
}

KMMATRIX* KMMatrixPerspectiveLH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Perspective(out, w, h, zn, zf, false);
}

KMMATRIX* KMMatrixPerspectiveRH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Perspective(out, w, h, zn, zf, true);
}

KMMATRIX* KMMatrixPerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  return PerspectiveFov(out, fovy, aspect, zn, zf, false);
}

KMMATRIX* KMMatrixPerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  return PerspectiveFov(out, fovy, aspect, zn, zf, true);
}

KMMATRIX* KMMatrixPerspectiveOffCenterLH(KMMATRIX* out, float l, float r, float b, float t,
                                         float zn, float zf) {
  return PerspectiveOffCenter(out, l, r, b, t, zn, zf, false);
}

KMMATRIX* KMMatrixPerspectiveOffCenterRH(KMMATRIX* out, float l, float r, float b, float t,
                                         float zn, float zf) {
  return PerspectiveOffCenter(out, l, r, b, t, zn, zf, true);
}

KMMATRIX* KMMatrixOrthoLH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Ortho(out, w, h, zn, zf, false);
}

KMMATRIX* KMMatrixOrthoRH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Ortho(out, w, h, zn, zf, true);
}

KMMATRIX* KMMatrixOrthoOffCenterLH(KMMATRIX* out, float l, float r, float b, float t, float zn,
                                   float zf) {
  return OrthoOffCenter(out, l, r, b, t, zn, zf, false);
}

KMMATRIX* KMMatrixOrthoOffCenterRH(KMMATRIX* out, float l, float r, float b, float t, float zn,
                                   float zf) {
  return OrthoOffCenter(out, l, r, b, t, zn, zf, true);
}

}  // extern "C"
