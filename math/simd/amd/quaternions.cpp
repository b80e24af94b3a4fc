// 3DNow! quaternion operations on the pair layer. A quaternion is two
// pairs, (x, y) and (z, w). Every input is read before the first store.
#include <bit>

#include "math/simd/amd/family.h"
#include "math/simd/amd/kernels.h"
#include "math/simd/amd/quad.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

// Above this |cos theta| slerp keeps the linear weights.
constexpr float kSlerpThreshold = 0.9999899864196777f;
static_assert(std::bit_cast<std::uint32_t>(kSlerpThreshold) == 0x3f7fff58u);
constexpr float kEpsilon = 0x1p-23f;

Quad LoadQ(const KMQUATERNION* q) {
  return {Load(&q->x), Load(&q->z)};
}

void StoreQ(KMQUATERNION* out, Quad q) {
  Store(&out->x, q.lo);
  Store(&out->z, q.hi);
}

// (p1 + p3) + (p2 + p4), in both lanes.
Pair Dot(Quad a, Quad b) {
  return HorizontalAdd(Add(Mul(a.lo, b.lo), Mul(a.hi, b.hi)));
}

// w1 * a + w2 * b, the weights in the lanes of w.
Quad Weighted(Pair w, Quad a, Quad b) {
  const Pair w1 = SplatLo(w), w2 = SplatHi(w);
  return {Add(Mul(w1, a.lo), Mul(w2, b.lo)), Add(Mul(w1, a.hi), Mul(w2, b.hi))};
}

Pair SineCosine(float angle) {
  const kernels::FloatPair sc = kernels::ScalarSineCosine(angle);
  return Make(sc.lo, sc.hi);  // (cos, sin)
}

bool NearZero(float x) {
  return x >= -kEpsilon && x <= kEpsilon;
}

// Pairs (a - b, a + b), by the cross-lane subtract-add when Extended.
template <bool Extended>
Pair DifferenceSum(float a, float b) {
  if constexpr (Extended) {
    return ExtSubAddAcross(Make(a, b), Make(a, b));
  } else {
    return Add(Make(a, a), Make(-b, b));
  }
}

template <bool Extended>
KMQUATERNION* RotationMatrix(KMQUATERNION* out, const KMMATRIX* m) {
  PackedScope scope;
  const Pair diagonal = Make(m->_11, m->_22);
  const Pair m33 = Splat(m->_33);
  Pair across;  // (m11 - m22, m22 - m11)
  if constexpr (Extended) {
    across = ExtSubAcross(diagonal, ExtSwap(diagonal));
  } else {
    across = Sub(diagonal, Swap(diagonal));
  }
  const Pair d12 = Sub(across, m33);                     // (d1, d2)
  const Pair trace = Add(HorizontalAdd(diagonal), m33);  // T
  const float d3 = (m->_33 - m->_11) - m->_22;
  // 0 >= T and d1 >= d2, then d2 >= d3 and d1 >= d3.
  const Pair first = GreaterEqual(Make(0.0f, Lo(d12)), LowLanes(trace, SplatHi(d12)));
  const Pair second = GreaterEqual(Make(Hi(d12), Lo(d12)), Splat(d3));
  const bool not_positive = std::bit_cast<std::uint32_t>(Lo(first)) != 0;
  const bool d1_ge_d2 = std::bit_cast<std::uint32_t>(Hi(first)) != 0;
  const bool d2_ge_d3 = std::bit_cast<std::uint32_t>(Lo(second)) != 0;
  const bool d1_ge_d3 = std::bit_cast<std::uint32_t>(Hi(second)) != 0;

  const Pair p23 = DifferenceSum<Extended>(m->_23, m->_32);  // (m23 - m32, m23 + m32)
  const Pair p31 = DifferenceSum<Extended>(m->_31, m->_13);  // (m31 - m13, m31 + m13)
  const Pair p12 = DifferenceSum<Extended>(m->_12, m->_21);  // (m12 - m21, m12 + m21)
  float diagonal_term;
  int largest = -1;  // -1: the trace; else the component built from the diagonal
  if (!not_positive && Lo(trace) > 0.0f) {
    diagonal_term = Lo(trace);
  } else if (d1_ge_d2 && d1_ge_d3) {
    largest = 0;
    diagonal_term = Lo(d12);
  } else if (d2_ge_d3) {
    largest = 1;
    diagonal_term = Hi(d12);
  } else {
    largest = 2;
    diagonal_term = d3;
  }
  const Pair plus_one = Add(Splat(diagonal_term), Splat(1.0f));
  const Pair k = Mul(Splat(0.5f), ReciprocalSqrt(plus_one));
  const float s = Lo(Mul(plus_one, k));
  float q[4];
  switch (largest) {
    case -1:
      q[0] = Lo(Mul(Splat(Lo(p23)), k));
      q[1] = Lo(Mul(Splat(Lo(p31)), k));
      q[2] = Lo(Mul(Splat(Lo(p12)), k));
      q[3] = s;
      break;
    case 0:
      q[0] = s;
      q[1] = Lo(Mul(Splat(Hi(p12)), k));
      q[2] = Lo(Mul(Splat(Hi(p31)), k));
      q[3] = Lo(Mul(Splat(Lo(p23)), k));
      break;
    case 1:
      q[0] = Lo(Mul(Splat(Hi(p12)), k));
      q[1] = s;
      q[2] = Lo(Mul(Splat(Hi(p23)), k));
      q[3] = Lo(Mul(Splat(Lo(p31)), k));
      break;
    default:
      q[0] = Lo(Mul(Splat(Hi(p31)), k));
      q[1] = Lo(Mul(Splat(Hi(p23)), k));
      q[2] = s;
      q[3] = Lo(Mul(Splat(Lo(p12)), k));
      break;
  }
  StoreQ(out, {Make(q[0], q[1]), Make(q[2], q[3])});
  return out;
}

// q * Exp(-(Ln(q^-1 * prev) + Ln(q^-1 * next)) / 4).
KMQUATERNION ControlPoint(const KMQUATERNION& prev, const KMQUATERNION& q,
                          const KMQUATERNION& next) {
  KMQUATERNION inverse, to_prev, to_next, ln_prev, ln_next, sum, e, result;
  form::KMQuaternionInverse(&inverse, &q);
  form::KMQuaternionMultiply(&to_prev, &inverse, &prev);
  form::KMQuaternionMultiply(&to_next, &inverse, &next);
  form::KMQuaternionLn(&ln_prev, &to_prev);
  form::KMQuaternionLn(&ln_next, &to_next);
  const Quad a = LoadQ(&ln_prev), b = LoadQ(&ln_next);
  const Pair quarter = Splat(-0.25f);
  StoreQ(&sum, {Mul(quarter, Add(a.lo, b.lo)), Mul(quarter, Add(a.hi, b.hi))});
  form::KMQuaternionExp(&e, &sum);
  form::KMQuaternionMultiply(&result, &q, &e);
  return result;
}

// Puts `q` on the hemisphere of `from` (a tie keeps the sign).
void OntoHemisphereOf(const KMQUATERNION& from, KMQUATERNION& q) {
  const Quad a = LoadQ(&from), b = LoadQ(&q);
  const Quad minus{Sub(a.lo, b.lo), Sub(a.hi, b.hi)}, plus{Add(a.lo, b.lo), Add(a.hi, b.hi)};
  if (Lo(Dot(minus, minus)) > Lo(Dot(plus, plus))) {
    StoreQ(&q, {Negate(b.lo), Negate(b.hi)});
  }
}

}  // namespace

KMQUATERNION* KMQuaternionInverse(KMQUATERNION* out, const KMQUATERNION* q) {
  PackedScope scope;
  const Quad v = LoadQ(q);
  const Pair length_sq = Dot(v, v);
  // The guard is the smallest normal float; there is no unit shortcut.
  const Pair keep = Greater(length_sq, MakeBits(0x00800000u, 0x00800000u));
  const Pair k = Reciprocal(length_sq);
  const Quad conjugate{Xor(v.lo, MakeBits(kSign, kSign)), Xor(v.hi, MakeBits(kSign, 0))};
  StoreQ(out, {And(Mul(conjugate.lo, k), keep), And(Mul(conjugate.hi, k), keep)});
  return out;
}

void KMQuaternionToAxisAngle(const KMQUATERNION* q, KMVECTOR3* axis, float* angle) {
  PackedScope scope;
  const float w = q->w;
  if (axis != nullptr) {
    const Pair xy = Load(&q->x), z = LoadLow(&q->z);
    Store(&axis->x, xy);
    StoreLow(&axis->z, z);
  }
  if (angle != nullptr) *angle = 2.0f * kernels::ScalarArcCosine(w);
}

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  PackedScope scope;
  const Pair y = SineCosine(yaw * 0.5f), p = SineCosine(pitch * 0.5f);
  const Pair r = SineCosine(roll * 0.5f);
  const Pair sp_cp = Swap(p);
  const Pair a = Mul(y, sp_cp);        // (cy sp, sy cp)
  const Pair b = Mul(Swap(y), sp_cp);  // (sy sp, cy cp)
  const Pair cr_sr = r;
  const Pair xy = AddAcross(Mul(a, cr_sr), Mul(Swap(a), Xor(cr_sr, MakeBits(0, kSign))));
  const Pair zw = AddAcross(Mul(b, Xor(cr_sr, MakeBits(kSign, 0))), Mul(Swap(b), cr_sr));
  StoreQ(out, {xy, zw});
  return out;
}

KMQUATERNION* KMQuaternionRotationAxis(KMQUATERNION* out, const KMVECTOR3* axis, float angle) {
  PackedScope scope;
  KMVECTOR3 unit;
  form::KMVec3Normalize(&unit, axis);
  const Pair cs = SineCosine(angle * 0.5f);
  const Pair s = SplatHi(cs);
  StoreQ(out, {Mul(Load(&unit.x), s), LowLanes(Mul(LoadLow(&unit.z), s), cs)});
  return out;
}

KMQUATERNION* KMQuaternionLn(KMQUATERNION* out, const KMQUATERNION* q) {
  PackedScope scope;
  const Quad v = LoadQ(q);
  const float theta = kernels::ScalarArcCosine(Hi(v.hi));
  const float sine = kernels::ScalarSine(theta);
  Pair k = Splat(1.0f);
  // Too small a sine to divide by: the vector part is kept.
  if (!NearZero(sine)) k = Mul(Splat(theta), Reciprocal(Splat(sine)));
  StoreQ(out, {Mul(v.lo, k), And(Mul(v.hi, k), MakeBits(~0u, 0))});
  return out;
}

KMQUATERNION* KMQuaternionExp(KMQUATERNION* out, const KMQUATERNION* q) {
  PackedScope scope;
  const Quad v = LoadQ(q);
  const Pair z0 = And(v.hi, MakeBits(~0u, 0));
  const Pair length_sq = HorizontalAdd(Add(Mul(v.lo, v.lo), Mul(z0, z0)));
  const Pair inverse_length = ReciprocalSqrt(length_sq);
  // theta = L / sqrt(L), and 0 for a zero vector part.
  const Pair theta = And(Mul(length_sq, inverse_length), Greater(length_sq, Make(0.0f, 0.0f)));
  const Pair cs = SineCosine(Lo(theta));
  Pair k = Splat(1.0f);
  if (!NearZero(Hi(cs))) k = Mul(SplatHi(cs), inverse_length);
  StoreQ(out, {Mul(v.lo, k), LowLanes(Mul(z0, k), cs)});
  return out;
}

KMQUATERNION* KMQuaternionBaryCentric(KMQUATERNION* out, const KMQUATERNION* q1,
                                      const KMQUATERNION* q2, const KMQUATERNION* q3, float f,
                                      float g) {
  PackedScope scope;
  // No test of s: f + g = 0 gives values callers must not rely on.
  const Pair s = Add(Splat(f), Splat(g));
  KMQUATERNION p, r;
  form::KMQuaternionSlerp(&p, q1, q2, Lo(s));
  form::KMQuaternionSlerp(&r, q1, q3, Lo(s));
  return form::KMQuaternionSlerp(out, &p, &r, Lo(Mul(Splat(g), Reciprocal(s))));
}

KMQUATERNION* KMQuaternionSquad(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* a,
                                const KMQUATERNION* b, const KMQUATERNION* c, float t) {
  PackedScope scope;
  KMQUATERNION outer, inner;
  form::KMQuaternionSlerp(&outer, q1, c, t);
  form::KMQuaternionSlerp(&inner, a, b, t);
  const Pair u = Mul(Mul(Sub(Splat(1.0f), Splat(t)), Splat(t)), Splat(2.0f));
  return form::KMQuaternionSlerp(out, &outer, &inner, Lo(u));
}

void KMQuaternionSquadSetup(KMQUATERNION* a_out, KMQUATERNION* b_out, KMQUATERNION* c_out,
                            const KMQUATERNION* q0, const KMQUATERNION* q1, const KMQUATERNION* q2,
                            const KMQUATERNION* q3) {
  PackedScope scope;
  // Copies first: the outputs may be any of the inputs.
  KMQUATERNION p0 = *q0, p1 = *q1, p2 = *q2, p3 = *q3;
  OntoHemisphereOf(p1, p0);
  OntoHemisphereOf(p1, p2);
  OntoHemisphereOf(p2, p3);
  *a_out = ControlPoint(p0, p1, p2);
  *b_out = ControlPoint(p1, p2, p3);
  *c_out = p2;
}

KMQUATERNION* KMQuaternionRotationMatrix(KMQUATERNION* out, const KMMATRIX* m) {
  return RotationMatrix<false>(out, m);
}

namespace extended {

KMQUATERNION* KMQuaternionRotationMatrix(KMQUATERNION* out, const KMMATRIX* m) {
  return RotationMatrix<true>(out, m);
}

}  // namespace extended

// Quaternion normalisation shares the four-component steps.
KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  return Normalize4(out, q);
}

KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2) {
  PackedScope scope;
  // q1 first, then q2: the Hamilton product q2 q1.
  const Quad a = LoadQ(q1), b = LoadQ(q2);
  const Pair a_yx = Swap(a.lo), a_wz = Swap(a.hi);
  const Pair bx = SplatLo(b.lo), by = SplatHi(b.lo), bz = SplatLo(b.hi), bw = SplatHi(b.hi);
  const Pair plus_minus = MakeBits(0, kSign), minus_plus = MakeBits(kSign, 0);
  // x = bw ax + bx aw + by az - bz ay;  y = bw ay - bx az + by aw + bz ax
  Pair xy = Mul(bw, a.lo);
  xy = Add(xy, Mul(Xor(bx, plus_minus), a_wz));
  xy = Add(xy, Mul(by, a.hi));
  xy = Add(xy, Mul(Xor(bz, minus_plus), a_yx));
  // z = bw az + bx ay - by ax + bz aw;  w = bw aw - bx ax - by ay - bz az
  Pair zw = Mul(bw, a.hi);
  zw = Add(zw, Mul(Xor(bx, plus_minus), a_yx));
  zw = Add(zw, Mul(Negate(by), a.lo));
  zw = Add(zw, Mul(Xor(bz, plus_minus), a_wz));
  StoreQ(out, {xy, zw});
  return out;
}

KMQUATERNION* KMQuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                                float t) {
  PackedScope scope;
  const Quad a = LoadQ(q1), b = LoadQ(q2);
  Pair c = Dot(a, b);
  // A dot product that is not above 0 (zero included) takes the other arc.
  const Pair sign = AndNot(Greater(c, Make(0.0f, 0.0f)), MakeBits(kSign, kSign));
  c = Xor(c, sign);
  Pair weights = Make(1.0f - t, t);
  if (!(Lo(c) > kSlerpThreshold)) {
    const Pair k = ReciprocalSqrt(Sub(Splat(1.0f), Mul(c, c)));  // 1 / sin theta
    const float sine = Lo(Reciprocal(k));
    const float theta = kernels::ScalarArcTangent2(sine, Lo(c));
    const Pair angles = Mul(weights, Splat(theta));
    weights = Mul(Make(kernels::ScalarSine(Lo(angles)), kernels::ScalarSine(Hi(angles))), k);
  }
  weights = Xor(weights, LowLanes(Make(0.0f, 0.0f), sign));
  StoreQ(out, Weighted(weights, a, b));
  return out;
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
