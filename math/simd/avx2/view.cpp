// The look-at builder with the vectors in registers: the portable builder's
// arithmetic (float differences, double cross products and dot products
// rounded once to float) around this family's Vec3 normaliser, inlined.
// Products and sums stay separate instructions, and where both terms of a
// sum are NaN the first one's is kept, as in the portable builder, so that
// even a NaN result has the same sign and payload.
#include "math/simd/avx2/view.h"

#include "math/reference/perspective_fov.h"
#include "math/simd/avx2/common.h"

namespace kubik::avx2 {
namespace {

// a x b: a.yzx * b.zxy - a.zxy * b.yzx in double, then to float.
__m128 Cross(__m128 a, __m128 b) {
  const __m256d a_yzx = _mm256_cvtps_pd(_mm_permute_ps(a, KUBIK_AVX2_LANES(1, 2, 0, 3)));
  const __m256d a_zxy = _mm256_cvtps_pd(_mm_permute_ps(a, KUBIK_AVX2_LANES(2, 0, 1, 3)));
  const __m256d b_yzx = _mm256_cvtps_pd(_mm_permute_ps(b, KUBIK_AVX2_LANES(1, 2, 0, 3)));
  const __m256d b_zxy = _mm256_cvtps_pd(_mm_permute_ps(b, KUBIK_AVX2_LANES(2, 0, 1, 3)));
  return _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(a_yzx, b_zxy), _mm256_mul_pd(a_zxy, b_yzx)));
}

// a + b, with a's NaN where both are NaN: the processor keeps the first
// operand's, and the compiler would be free to swap the operands of an
// addition, so the instruction is written out.
__m256d AddKeepingFirstNaN(__m256d a, __m256d b) {
  __m256d sum;
  __asm__("vaddpd %2, %1, %0" : "=x"(sum) : "x"(a), "x"(b));
  return sum;
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
                 bool right_handed) {
  const __m128 e = LoadVector3(eye), a = LoadVector3(at);
  const __m128 z = Normalized<3>(right_handed ? _mm_sub_ps(e, a) : _mm_sub_ps(a, e));
  const __m128 x = Normalized<3>(Cross(LoadVector3(up), z));
  const __m128 y = Cross(z, x);

  // Rows (x.x, y.x, z.x, 0), (x.y, y.y, z.y, 0), (x.z, y.z, z.z, 0).
  const __m128 xy_low = _mm_unpacklo_ps(x, y), xy_high = _mm_unpackhi_ps(x, y);
  const __m128 z0_low = _mm_unpacklo_ps(z, _mm_setzero_ps());
  const __m128 z0_high = _mm_unpackhi_ps(z, _mm_setzero_ps());
  const __m128 row1 = _mm_movelh_ps(xy_low, z0_low);
  const __m128 row2 = _mm_movehl_ps(z0_low, xy_low);
  const __m128 row3 = _mm_movelh_ps(xy_high, z0_high);

  // (x.eye, y.eye, z.eye) summed as the portable builder sums each, negated.
  const __m256d dots = AddKeepingFirstNaN(
      AddKeepingFirstNaN(_mm256_mul_pd(_mm256_cvtps_pd(row1), _mm256_set1_pd(eye->x)),
                         _mm256_mul_pd(_mm256_cvtps_pd(row2), _mm256_set1_pd(eye->y))),
      _mm256_mul_pd(_mm256_cvtps_pd(row3), _mm256_set1_pd(eye->z)));
  const __m128 translation = _mm_xor_ps(_mm256_cvtpd_ps(dots), _mm_set1_ps(-0.0f));

  _mm_storeu_ps(out->m[0], row1);
  _mm_storeu_ps(out->m[1], row2);
  _mm_storeu_ps(out->m[2], row3);
  _mm_storeu_ps(out->m[3], _mm_blend_ps(translation, _mm_set1_ps(1.0f), 0b1000));
  return out;
}

KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect, float zn, float zf,
                         bool right_handed) {
  return view::PerspectiveFov<FusedMultiplyAdd>(out, fovy, aspect, zn, zf, right_handed);
}

}  // namespace kubik::avx2
