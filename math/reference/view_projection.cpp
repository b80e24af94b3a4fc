// View and projection builders. Not dispatched: each public entry is the
// reference body itself. Elements are formed in double and rounded once when
// stored, except where a value is rounded to float on purpose (noted).
#include <kubik/kmath.h>

#include <cmath>

namespace {

void SetZero(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = 0.0f;
  }
}

// forward is at - eye (left-handed) or eye - at (right-handed). The two
// normalisations go through the public entry, so the installed one runs.
KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* up,
                 const KMVECTOR3& forward) {
  KMVECTOR3 z = forward;
  ::KMVec3Normalize(&z, &z);
  KMVECTOR3 x(static_cast<float>(double{up->y} * z.z - double{up->z} * z.y),
              static_cast<float>(double{up->z} * z.x - double{up->x} * z.z),
              static_cast<float>(double{up->x} * z.y - double{up->y} * z.x));
  ::KMVec3Normalize(&x, &x);
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

// cot(fovy / 2); the half angle, its sine and its cosine are each rounded to
// float, the quotient is not.
double FovScale(float fovy) {
  const float half = fovy * 0.5f;
  const float s = static_cast<float>(std::sin(static_cast<double>(half)));
  const float c = static_cast<float>(std::cos(static_cast<double>(half)));
  return static_cast<double>(c) / s;
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
  const KMVECTOR3 forward(static_cast<float>(double{at->x} - eye->x),
                          static_cast<float>(double{at->y} - eye->y),
                          static_cast<float>(double{at->z} - eye->z));
  return LookAt(out, eye, up, forward);
}

KMMATRIX* KMMatrixLookAtRH(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                           const KMVECTOR3* up) {
  const KMVECTOR3 forward(static_cast<float>(double{eye->x} - at->x),
                          static_cast<float>(double{eye->y} - at->y),
                          static_cast<float>(double{eye->z} - at->z));
  return LookAt(out, eye, up, forward);
}

KMMATRIX* KMMatrixPerspectiveLH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Perspective(out, w, h, zn, zf, false);
}

KMMATRIX* KMMatrixPerspectiveRH(KMMATRIX* out, float w, float h, float zn, float zf) {
  return Perspective(out, w, h, zn, zf, true);
}

KMMATRIX* KMMatrixPerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  const double h = FovScale(fovy);
  SetZero(out);
  out->_11 = static_cast<float>(h / aspect);
  out->_22 = static_cast<float>(h);
  PerspectiveDepth(out, zn, zf, false);
  return out;
}

KMMATRIX* KMMatrixPerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  const double h = FovScale(fovy);
  SetZero(out);
  out->_11 = static_cast<float>(h / aspect);
  out->_22 = static_cast<float>(h);
  PerspectiveDepth(out, zn, zf, true);
  return out;
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
