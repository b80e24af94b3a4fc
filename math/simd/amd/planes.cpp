// 3DNow! plane operations on the pair layer. Every routine reads all of its
// inputs before its first store, so outputs may alias inputs wherever the
// reference allows it.
#include <cstdint>

#include "math/simd/amd/family.h"
#include "math/simd/amd/quad.h"

namespace kubik::amd::KUBIK_AMD_FORM {

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  return Transform<4>(out, plane, m);
}

KMPLANE* KMPlaneFromPointNormal(KMPLANE* out, const KMVECTOR3* point, const KMVECTOR3* normal) {
  PackedScope scope;
  const Pair n_xy = Load(&normal->x), n_z = LoadLow(&normal->z);
  const Pair products = Add(Mul(n_xy, Load(&point->x)), Mul(n_z, LoadLow(&point->z)));
  StoreQuad(&out->a, {n_xy, LowLanes(n_z, Negate(HorizontalAdd(products)))});
  return out;
}

KMPLANE* KMPlaneFromPoints(KMPLANE* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                           const KMVECTOR3* v3) {
  PackedScope scope;
  const Pair p_xy = Load(&v1->x), p_z = LoadLow(&v1->z);
  // Edges e = V1 - V2 and f = V1 - V3; n = e x f.
  const Pair e_xy = Sub(p_xy, Load(&v2->x)), e_z = Sub(p_z, LoadLow(&v2->z));
  const Pair f_xy = Sub(p_xy, Load(&v3->x)), f_z = Sub(p_z, LoadLow(&v3->z));
  const Pair e_yz = LowLanes(SplatHi(e_xy), e_z), f_yz = LowLanes(SplatHi(f_xy), f_z);
  const Pair e_zx = LowLanes(e_z, e_xy), f_zx = LowLanes(f_z, f_xy);
  // (ey fz - ez fy, ez fx - ex fz), then ex fy - ey fx.
  const Pair n_xy = Sub(Mul(e_yz, f_zx), Mul(e_zx, f_yz));
  const Pair n_z = Sub(Mul(e_xy, Swap(f_xy)), Mul(Swap(e_xy), f_xy));
  Quad n{n_xy, LowLanes(n_z, Make(0.0f, 0.0f))};
  n = ScaleToUnit(n, HorizontalAdd(Add(Mul(n.lo, n.lo), Mul(n.hi, n.hi))));
  const Pair d = Negate(HorizontalAdd(Add(Mul(n.lo, p_xy), Mul(n.hi, p_z))));
  StoreQuad(&out->a, {n.lo, LowLanes(n.hi, d)});
  return out;
}

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  PackedScope scope;
  const Quad p = LoadQuad(&plane->a);
  const Pair c0 = LowLanes(p.hi, Make(0.0f, 0.0f));
  StoreQuad(&out->a, ScaleToUnit(p, HorizontalAdd(Add(Mul(p.lo, p.lo), Mul(c0, c0)))));
  return out;
}

// The reference's test of t is missing: a t that is not finite is used.
KMVECTOR3* KMPlaneIntersectLine(KMVECTOR3* out, const KMPLANE* plane, const KMVECTOR3* v1,
                                const KMVECTOR3* v2) {
  PackedScope scope;
  const Pair ab = Load(&plane->a), cd = Load(&plane->c);
  const Pair c0 = LowLanes(cd, Make(0.0f, 0.0f));
  const Pair p_xy = Load(&v1->x), p_z = LoadLow(&v1->z);
  const Pair q_xy = Load(&v2->x), q_z = LoadLow(&v2->z);
  // (a x + c z, b y) at both points.
  const Pair at1 = Add(Mul(ab, p_xy), Mul(c0, SplatLo(p_z)));
  const Pair at2 = Add(Mul(ab, q_xy), Mul(c0, SplatLo(q_z)));
  const Pair denominator = HorizontalAdd(Sub(at1, at2));
  if (Lo(denominator) == 0.0f) return nullptr;
  const Pair numerator = HorizontalAdd(Add(at1, LowLanes(Make(0.0f, 0.0f), SplatHi(cd))));
  const Pair t = Mul(numerator, Reciprocal(denominator));
  Store(&out->x, Add(p_xy, Mul(t, Sub(q_xy, p_xy))));
  StoreLow(&out->z, Add(p_z, Mul(t, Sub(q_z, p_z))));
  return out;
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
