// Reference quaternion operations: components are formed in double and
// rounded once, when stored, except where a value is rounded to float on
// purpose (half angles, sines, cosines, squared lengths).
#include <cmath>

#include "math/reference/reference.h"
#include "math/types/float_compare.h"

namespace kubik::reference {
namespace {

// 2^-126, the smallest normal float, and 2^-63: below them a squared length
// is treated as zero by normalise and inverse.
constexpr float kSmallestNormal = 1.17549435e-38f;
constexpr float kInverseThreshold = 1.08420217e-19f;
constexpr double kEpsilon = 1.0 / 8388608.0;  // 2^-23

struct SineCosine {
  double sine;
  double cosine;
};

// Sine and cosine of an angle, each rounded to float.
SineCosine SinCos(float angle) {
  return {static_cast<float>(std::sin(static_cast<double>(angle))),
          static_cast<float>(std::cos(static_cast<double>(angle)))};
}

// Sine and cosine of half an angle, the half angle and both results rounded
// to float.
SineCosine HalfAngle(float angle) {
  return SinCos(angle * 0.5f);
}

float LengthSquared(const KMQUATERNION& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  return static_cast<float>(x * x + y * y + z * z + w * w);
}

void Store(KMQUATERNION* out, double x, double y, double z, double w) {
  out->x = static_cast<float>(x);
  out->y = static_cast<float>(y);
  out->z = static_cast<float>(z);
  out->w = static_cast<float>(w);
}

// Squared distance between a and b (sign -1) or a and -b (sign +1).
double SquaredDistance(const KMQUATERNION& a, const KMQUATERNION& b, double sign) {
  const double dx = a.x + sign * b.x, dy = a.y + sign * b.y;
  const double dz = a.z + sign * b.z, dw = a.w + sign * b.w;
  return dx * dx + dy * dy + dz * dz + dw * dw;
}

KMQUATERNION Negated(const KMQUATERNION& q) {
  return KMQUATERNION(-q.x, -q.y, -q.z, -q.w);
}

// The control point q * Exp(-(Ln(Inverse(q) * prev) + Ln(Inverse(q) * next)) / 4).
KMQUATERNION ControlPoint(const KMQUATERNION& prev, const KMQUATERNION& q,
                          const KMQUATERNION& next) {
  KMQUATERNION inverse, to_prev, to_next, ln_prev, ln_next, sum, e, result;
  ::KMQuaternionInverse(&inverse, &q);
  ::KMQuaternionMultiply(&to_prev, &inverse, &prev);
  ::KMQuaternionMultiply(&to_next, &inverse, &next);
  ::KMQuaternionLn(&ln_prev, &to_prev);
  ::KMQuaternionLn(&ln_next, &to_next);
  Store(&sum, -0.25 * (static_cast<double>(ln_prev.x) + ln_next.x),
        -0.25 * (static_cast<double>(ln_prev.y) + ln_next.y),
        -0.25 * (static_cast<double>(ln_prev.z) + ln_next.z),
        -0.25 * (static_cast<double>(ln_prev.w) + ln_next.w));
  ::KMQuaternionExp(&e, &sum);
  ::KMQuaternionMultiply(&result, &q, &e);
  return result;
}

}  // namespace

KMQUATERNION* KMQuaternionRotationMatrix(KMQUATERNION* out, const KMMATRIX* m) {
  const double trace = static_cast<double>(m->_11) + m->_22 + m->_33;
  if (trace > 0.0) {
    const double w = 0.5 * std::sqrt(trace + 1.0);
    const double f = 0.25 / w;
    Store(out, (static_cast<double>(m->_23) - m->_32) * f,
          (static_cast<double>(m->_31) - m->_13) * f, (static_cast<double>(m->_12) - m->_21) * f,
          w);
    return out;
  }
  // Build from the largest diagonal term, which keeps the square root away
  // from zero. A NaN trace lands here too.
  const double d[3] = {static_cast<double>(m->_11) - m->_22 - m->_33,
                       static_cast<double>(m->_22) - m->_11 - m->_33,
                       m->_33 - (static_cast<double>(m->_11) + m->_22)};
  static constexpr int kNext[3] = {1, 2, 0};
  int i = d[0] < d[1] ? 1 : 0;
  if (d[i] < d[2]) i = 2;
  const int j = kNext[i], k = kNext[j];
  const double s = 0.5 * std::sqrt(d[i] + 1.0);
  const double f = 0.25 / s;
  double q[3];
  q[i] = s;
  q[j] = (static_cast<double>(m->m[i][j]) + m->m[j][i]) * f;
  q[k] = (static_cast<double>(m->m[i][k]) + m->m[k][i]) * f;
  const double w = (static_cast<double>(m->m[j][k]) - m->m[k][j]) * f;
  Store(out, q[0], q[1], q[2], w);
  return out;
}

KMQUATERNION* KMQuaternionRotationAxis(KMQUATERNION* out, const KMVECTOR3* axis, float angle) {
  // A normalised copy: the caller's axis is not written.
  KMVECTOR3 unit;
  ::KMVec3Normalize(&unit, axis);
  const SineCosine sc = HalfAngle(angle);
  Store(out, unit.x * sc.sine, unit.y * sc.sine, unit.z * sc.sine, sc.cosine);
  return out;
}

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  const SineCosine y = HalfAngle(yaw);
  const SineCosine p = HalfAngle(pitch);
  const SineCosine r = HalfAngle(roll);
  out->x = static_cast<float>(r.cosine * y.cosine * p.sine + r.sine * y.sine * p.cosine);
  out->y = static_cast<float>(r.cosine * y.sine * p.cosine - r.sine * y.cosine * p.sine);
  out->z = static_cast<float>(r.sine * y.cosine * p.cosine - r.cosine * y.sine * p.sine);
  out->w = static_cast<float>(r.cosine * y.cosine * p.cosine + r.sine * y.sine * p.sine);
  return out;
}

KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2) {
  // a first, then b: the Hamilton product b * a. Read everything before the
  // output is written, so it may be either input.
  const double ax = q1->x, ay = q1->y, az = q1->z, aw = q1->w;
  const double bx = q2->x, by = q2->y, bz = q2->z, bw = q2->w;
  Store(out, bw * ax + bx * aw + by * az - bz * ay, bw * ay - bx * az + by * aw + bz * ax,
        bw * az + bx * ay - by * ax + bz * aw, bw * aw - bx * ax - by * ay - bz * az);
  return out;
}

KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  const float length_squared = LengthSquared(*q);
  if (FloatNearlyEqual(length_squared, 1.0f)) {
    if (out != q) *out = *q;
  } else if (length_squared > kSmallestNormal) {
    const double r = 1.0 / std::sqrt(static_cast<double>(length_squared));
    Store(out, q->x * r, q->y * r, q->z * r, q->w * r);
  } else {
    *out = KMQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
  }
  return out;
}

KMQUATERNION* KMQuaternionInverse(KMQUATERNION* out, const KMQUATERNION* q) {
  const float length_squared = LengthSquared(*q);
  if (!(length_squared > kInverseThreshold)) {
    *out = KMQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    return out;
  }
  // Conjugate, divided by the squared length unless that is already 1.
  const double scale = FloatNearlyEqual(length_squared, 1.0f) ? 1.0 : 1.0 / length_squared;
  Store(out, -q->x * scale, -q->y * scale, -q->z * scale, q->w * scale);
  return out;
}

KMQUATERNION* KMQuaternionLn(KMQUATERNION* out, const KMQUATERNION* q) {
  const double x = q->x, y = q->y, z = q->z;
  if (q->w < 1.0f) {
    const double angle_exact = std::acos(static_cast<double>(q->w));
    const float angle = static_cast<float>(angle_exact);
    const float sine = static_cast<float>(std::sin(angle_exact));
    if (!FloatNearlyEqual(sine, 0.0f)) {
      const double k = static_cast<double>(angle) / sine;
      Store(out, k * x, k * y, k * z, 0.0);
      return out;
    }
  }
  // w >= 1, NaN, or a sine too small to divide by: keep the vector part.
  Store(out, x, y, z, 0.0);
  return out;
}

KMQUATERNION* KMQuaternionExp(KMQUATERNION* out, const KMQUATERNION* q) {
  const double x = q->x, y = q->y, z = q->z;
  const float angle = static_cast<float>(std::sqrt(x * x + y * y + z * z));
  const SineCosine sc = SinCos(angle);
  if (FloatNearlyEqual(static_cast<float>(sc.sine), 0.0f)) {
    Store(out, x, y, z, sc.cosine);
  } else {
    const double k = sc.sine / angle;
    Store(out, k * x, k * y, k * z, sc.cosine);
  }
  return out;
}

KMQUATERNION* KMQuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                                float t) {
  const double dot = static_cast<double>(q1->x) * q2->x + static_cast<double>(q1->y) * q2->y +
                     static_cast<double>(q1->z) * q2->z + static_cast<double>(q1->w) * q2->w;
  // Take the shorter arc: interpolate towards -q2 when the two point apart.
  const double sign = dot < 0.0 ? -1.0 : 1.0;
  const double d = sign * dot;
  double k0, k1;
  if (1.0 - d > kEpsilon) {
    const double s = std::sqrt(1.0 - d * d);
    const float angle =
        static_cast<float>(std::atan2(s, static_cast<double>(static_cast<float>(d))));
    const float r = static_cast<float>(1.0 / s);
    k0 = std::sin((1.0 - t) * angle) * r;
    k1 = std::sin(static_cast<double>(t) * angle) * r;
  } else {
    // Nearly parallel: the sine of the angle is too small to divide by.
    k0 = 1.0 - t;
    k1 = t;
  }
  k1 *= sign;
  Store(out, k0 * q1->x + k1 * q2->x, k0 * q1->y + k1 * q2->y, k0 * q1->z + k1 * q2->z,
        k0 * q1->w + k1 * q2->w);
  return out;
}

KMQUATERNION* KMQuaternionSquad(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* a,
                                const KMQUATERNION* b, const KMQUATERNION* c, float t) {
  KMQUATERNION outer, inner;
  ::KMQuaternionSlerp(&outer, q1, c, t);
  ::KMQuaternionSlerp(&inner, a, b, t);
  const float u = static_cast<float>((1.0 - t) * t * 2.0);
  return ::KMQuaternionSlerp(out, &outer, &inner, u);
}

KMQUATERNION* KMQuaternionBaryCentric(KMQUATERNION* out, const KMQUATERNION* q1,
                                      const KMQUATERNION* q2, const KMQUATERNION* q3, float f,
                                      float g) {
  const float s = f + g;
  if (FloatNearlyEqual(s, 0.0f)) {
    if (out != q1) *out = *q1;
    return out;
  }
  KMQUATERNION p, r;
  ::KMQuaternionSlerp(&p, q1, q2, s);
  ::KMQuaternionSlerp(&r, q1, q3, s);
  return ::KMQuaternionSlerp(out, &p, &r, static_cast<float>(static_cast<double>(g) / s));
}

void KMQuaternionSquadSetup(KMQUATERNION* a_out, KMQUATERNION* b_out, KMQUATERNION* c_out,
                            const KMQUATERNION* q0, const KMQUATERNION* q1, const KMQUATERNION* q2,
                            const KMQUATERNION* q3) {
  // Copies first: the outputs may be any of the inputs.
  KMQUATERNION p0 = *q0, p1 = *q1, p2 = *q2, p3 = *q3;
  // Put each neighbour on the hemisphere of the previous one, so the curve
  // takes the short way round. Ties keep the sign.
  if (SquaredDistance(p0, p1, -1.0) > SquaredDistance(p0, p1, 1.0)) p0 = Negated(p0);
  if (SquaredDistance(p1, p2, -1.0) > SquaredDistance(p1, p2, 1.0)) p2 = Negated(p2);
  if (SquaredDistance(p2, p3, -1.0) > SquaredDistance(p2, p3, 1.0)) p3 = Negated(p3);
  *a_out = ControlPoint(p0, p1, p2);
  *b_out = ControlPoint(p1, p2, p3);
  *c_out = p2;
}

void KMQuaternionToAxisAngle(const KMQUATERNION* q, KMVECTOR3* axis, float* angle) {
  if (axis != nullptr) *axis = KMVECTOR3(q->x, q->y, q->z);
  if (angle != nullptr) *angle = static_cast<float>(2.0 * std::acos(static_cast<double>(q->w)));
}

}  // namespace kubik::reference
