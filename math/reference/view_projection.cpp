// View and projection builders. Not dispatched: each public entry is the
// reference body itself, except that look-at and the field-of-view forms run
// the AVX2 family's bodies where that family runs (the same field-of-view
// matrices; look-at within that family's stated bound).
// Elements are formed in double and rounded once when stored, except where a
// value is rounded to float on purpose (noted).
#include <kubik/kmath.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/dispatch/operation_table.h"
#include "math/reference/perspective_fov.h"
#if defined(__x86_64__)
#include "math/cpu/processor.h"
#include "math/simd/avx2/family.h"
#include "math/simd/avx2/view.h"
#endif

namespace {

// The field-of-view builders: on a processor that runs the AVX2 family, that
// family's form (fused multiply-adds in the polynomial), else the portable
// one; both give the same matrix. The first call stores which form runs; later
// calls test the stored form and jump straight to the AVX2 one, a direct jump
// being cheaper here than one through a stored pointer. A race between two
// first calls is harmless.
template <bool kRightHanded>
[[gnu::noinline]] KMMATRIX* PortablePerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                   float zn, float zf) {
  return kubik::view::PerspectiveFov<kubik::view::SeparateMultiplyAdd>(out, fovy, aspect, zn, zf,
                                                                       kRightHanded);
}

#if defined(__x86_64__)
enum class FovForm : unsigned char { kUnchosen, kPortable, kAvx2 };

constinit std::atomic<FovForm> fov_form{FovForm::kUnchosen};

FovForm ChooseFovForm() {
  const bool avx2 =
      (kubik::QueryVectorExtensions(kubik::RealProcessor()) & kubik::kVectorAvx2) != 0;
  const FovForm form = avx2 ? FovForm::kAvx2 : FovForm::kPortable;
  fov_form.store(form, std::memory_order_relaxed);
  return form;
}

template <bool kRightHanded>
[[gnu::always_inline]] inline KMMATRIX* Avx2PerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                           float zn, float zf) {
  return kRightHanded ? kubik::avx2::PerspectiveFovRH(out, fovy, aspect, zn, zf)
                      : kubik::avx2::PerspectiveFovLH(out, fovy, aspect, zn, zf);
}

// The first call, and every call on a processor without the AVX2 family.
template <bool kRightHanded>
[[gnu::noinline]] KMMATRIX* ChosenPerspectiveFov(KMMATRIX* out, float fovy, float aspect, float zn,
                                                 float zf) {
  FovForm form = fov_form.load(std::memory_order_relaxed);
  if (form == FovForm::kUnchosen) form = ChooseFovForm();
  if (form == FovForm::kAvx2) {
    return Avx2PerspectiveFov<kRightHanded>(out, fovy, aspect, zn, zf);
  }
  return PortablePerspectiveFov<kRightHanded>(out, fovy, aspect, zn, zf);
}

template <bool kRightHanded>
[[gnu::always_inline]] inline KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                       float zn, float zf) {
  if (fov_form.load(std::memory_order_relaxed) == FovForm::kAvx2) [[likely]] {
    return Avx2PerspectiveFov<kRightHanded>(out, fovy, aspect, zn, zf);
  }
  return ChosenPerspectiveFov<kRightHanded>(out, fovy, aspect, zn, zf);
}
#else
template <bool kRightHanded>
[[gnu::always_inline]] inline KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                       float zn, float zf) {
  return PortablePerspectiveFov<kRightHanded>(out, fovy, aspect, zn, zf);
}
#endif

void SetZero(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = 0.0f;
  }
}

// The look-at builders. The two normalisations use the Vec3 normaliser
// installed for the process, fetched once from the table its public entry
// jumps through. Where that is the AVX2 family's, that family's builder runs
// instead (single precision, within its stated bound), except for the
// cameras it leaves to this one; the entry then jumps to it directly and
// keeps no frame.
[[gnu::noinline]] KMMATRIX* PortableLookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                                           const KMVECTOR3* up, bool right_handed) {
  const auto normalize = kubik::ProcessOperationTable().Get<kubik::Slot::KMVec3Normalize>();
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
#if defined(__x86_64__)
  if (kubik::ProcessOperationTable().Get<kubik::Slot::KMVec3Normalize>() ==
      &kubik::avx2::KMVec3Normalize) {
    return kubik::avx2::LookAt(out, eye, at, up, right_handed, &PortableLookAt);
  }
#endif
  return PortableLookAt(out, eye, at, up, right_handed);
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
  return PerspectiveFov<false>(out, fovy, aspect, zn, zf);
}

KMMATRIX* KMMatrixPerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  return PerspectiveFov<true>(out, fovy, aspect, zn, zf);
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
