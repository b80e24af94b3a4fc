// SSE quaternion operations.
#include <cmath>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse/yaw_pitch_roll.h"

namespace kubik::sse {

KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2) {
  const __m128 a = _mm_loadu_ps(&q1->x);
  const __m128 b = _mm_loadu_ps(&q2->x);
  // Terms of q2's w, x, y and z in that order; q1 reordered and signed so
  // that each lane lines up with its output component.
  __m128 sum = _mm_mul_ps(Broadcast<3>(b), a);
  sum = _mm_add_ps(
      sum, _mm_mul_ps(Broadcast<0>(b), _mm_xor_ps(_mm_shuffle_ps(a, a, KUBIK_LANES(3, 2, 1, 0)),
                                                  SignMask(kPlus, kMinus, kPlus, kMinus))));
  sum = _mm_add_ps(
      sum, _mm_mul_ps(Broadcast<1>(b), _mm_xor_ps(_mm_shuffle_ps(a, a, KUBIK_LANES(2, 3, 0, 1)),
                                                  SignMask(kPlus, kPlus, kMinus, kMinus))));
  sum = _mm_add_ps(
      sum, _mm_mul_ps(Broadcast<2>(b), _mm_xor_ps(_mm_shuffle_ps(a, a, KUBIK_LANES(1, 0, 3, 2)),
                                                  SignMask(kMinus, kPlus, kPlus, kMinus))));
  _mm_storeu_ps(&out->x, sum);
  return out;
}

KMQUATERNION* KMQuaternionInverse(KMQUATERNION* out, const KMQUATERNION* q) {
  const __m128 in = _mm_loadu_ps(&q->x);
  const __m128 sq = _mm_mul_ps(in, in);
  const __m128 halves = _mm_add_ps(sq, _mm_movehl_ps(sq, sq));  // x^2 + z^2, y^2 + w^2
  const __m128 norm = _mm_add_ss(halves, Broadcast<1>(halves));
  const __m128 conjugate = _mm_mul_ps(in, _mm_setr_ps(-1.0f, -1.0f, -1.0f, 1.0f));
  _mm_storeu_ps(&out->x, _mm_mul_ps(conjugate, Reciprocal(Broadcast<0>(norm))));
  return out;
}

KMQUATERNION* KMQuaternionRotationMatrix(KMQUATERNION* out, const KMMATRIX* m) {
  // Scalar code in the x87 registers, as the other SIMD sets do it: one
  // square root and one division, at extended precision.
  using Wide = long double;
  const Wide d[3] = {m->_11, m->_22, m->_33};
  const Wide t = (d[1] + d[0]) + d[2];
  Wide q[4];  // x, y, z, w
  if (t > 0) {
    const Wide s = std::sqrt(t + 1) * Wide{0.5};
    const Wide f = Wide{0.25} / s;
    q[3] = s;
    q[0] = f * (Wide{m->_23} - m->_32);
    q[1] = f * (Wide{m->_31} - m->_13);
    q[2] = f * (Wide{m->_12} - m->_21);
  } else {
    static constexpr int kNext[3] = {1, 2, 0};
    int i = 0;
    if (d[0] < d[1]) i = 1;
    if (d[i] < d[2]) i = 2;
    const int j = kNext[i];
    const int k = kNext[j];
    const Wide h = std::sqrt(d[i] - d[j] - d[k] + 1) * Wide{0.5};
    const Wide f = Wide{0.25} / h;
    q[i] = h;
    q[j] = f * (Wide{m->m[i][j]} + m->m[j][i]);
    q[k] = f * (Wide{m->m[i][k]} + m->m[k][i]);
    q[3] = f * (Wide{m->m[j][k]} - m->m[k][j]);
  }
  out->x = static_cast<float>(q[0]);
  out->y = static_cast<float>(q[1]);
  out->z = static_cast<float>(q[2]);
  out->w = static_cast<float>(q[3]);
  return out;
}

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  return YawPitchRollWith<&kubik::sse::PackedSineCosine>(out, yaw, pitch, roll);
}

}  // namespace kubik::sse
