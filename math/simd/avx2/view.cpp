// The look-at builder with the vectors in registers, in single precision
// with fused multiply-adds, around this family's Vec3 normaliser, inlined.
// The right axis is formed from the forward axis before its normalisation,
// not after: the direction is the same, and the two square roots and
// divisions then run side by side instead of one after the other, which is
// most of the builder's time.
#include "math/simd/avx2/view.h"

#include "math/reference/perspective_fov.h"
#include "math/simd/avx2/common.h"

namespace kubik::avx2 {
namespace {

// a x b: a.yzx * b.zxy - a.zxy * b.yzx, the second product rounded and the
// difference fused.
__m128 Cross(__m128 a, __m128 b) {
  const __m128 a_yzx = _mm_permute_ps(a, KUBIK_AVX2_LANES(1, 2, 0, 3));
  const __m128 a_zxy = _mm_permute_ps(a, KUBIK_AVX2_LANES(2, 0, 1, 3));
  const __m128 b_yzx = _mm_permute_ps(b, KUBIK_AVX2_LANES(1, 2, 0, 3));
  const __m128 b_zxy = _mm_permute_ps(b, KUBIK_AVX2_LANES(2, 0, 1, 3));
  return _mm_fmsub_ps(a_yzx, b_zxy, _mm_mul_ps(a_zxy, b_yzx));
}

// Whether the float x lies from `low` to `high` (both positive): one
// unsigned comparison of the bits, false for NaNs and negative numbers.
bool InRange(float x, float low, float high) {
  return Bits(x) - Bits(low) <= Bits(high) - Bits(low);
}

// Every component of the eye below 2^100 in magnitude (so not NaN): the
// translation's float sums cannot overflow where the portable builder's
// double ones would not.
bool EyeInFastRange(__m128 e) {
  const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), e);
  return _mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(0x1p100f))) == 0xF;
}

// Fused: the polynomial's error bound holds either way, and past it the
// builder rounds to the same floats.
struct FusedMultiplyAdd {
  static view::Double2 Apply(view::Double2 a, view::Double2 b, view::Double2 c) {
    return reinterpret_cast<view::Double2>(_mm_fmadd_pd(
        reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b), reinterpret_cast<__m128d>(c)));
  }
};

}  // namespace

KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at, const KMVECTOR3* up,
                 bool right_handed, LookAtBuilder fallback) {
  const __m128 e = LoadVector3(eye), a = LoadVector3(at), u = LoadVector3(up);
  const __m128 forward = right_handed ? _mm_sub_ps(e, a) : _mm_sub_ps(a, e);
  const __m128 right = Cross(u, forward);
  if (!InRange(Lane0(SquaredLength(forward, 3)), 0x1p-40f, 0x1p40f) ||
      !InRange(Lane0(SquaredLength(right, 3)), 0x1p-80f, 0x1p80f) || !EyeInFastRange(e)) {
    return fallback(out, eye, at, up, right_handed);
  }
  const __m128 z = Normalized<3>(forward);
  const __m128 x = Normalized<3>(right);
  const __m128 y = Cross(z, x);

  // Rows (x.x, y.x, z.x, 0), (x.y, y.y, z.y, 0), (x.z, y.z, z.z, 0).
  const __m128 xy_low = _mm_unpacklo_ps(x, y), xy_high = _mm_unpackhi_ps(x, y);
  const __m128 z0_low = _mm_unpacklo_ps(z, _mm_setzero_ps());
  const __m128 z0_high = _mm_unpackhi_ps(z, _mm_setzero_ps());
  const __m128 row1 = _mm_movelh_ps(xy_low, z0_low);
  const __m128 row2 = _mm_movehl_ps(z0_low, xy_low);
  const __m128 row3 = _mm_movelh_ps(xy_high, z0_high);

  // (x.eye, y.eye, z.eye), negated after the sum, so that zero sums come out
  // as negative zeros as the portable builder's do.
  const __m128 dots =
      _mm_fmadd_ps(row3, Broadcast<2>(e),
                   _mm_fmadd_ps(row2, Broadcast<1>(e), _mm_mul_ps(row1, Broadcast<0>(e))));
  const __m128 translation = _mm_xor_ps(dots, _mm_set1_ps(-0.0f));

  _mm_storeu_ps(out->m[0], row1);
  _mm_storeu_ps(out->m[1], row2);
  _mm_storeu_ps(out->m[2], row3);
  _mm_storeu_ps(out->m[3], _mm_blend_ps(translation, _mm_set1_ps(1.0f), 0b1000));
  return out;
}

KMMATRIX* PerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  return view::PerspectiveFov<FusedMultiplyAdd>(out, fovy, aspect, zn, zf, false);
}

KMMATRIX* PerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf) {
  return view::PerspectiveFov<FusedMultiplyAdd>(out, fovy, aspect, zn, zf, true);
}

}  // namespace kubik::avx2
