// 3DNow! matrix operations and projection on the pair layer. A matrix row
// is two pairs: (m[i][0], m[i][1]) and (m[i][2], m[i][3]).
#include <cmath>

#include "math/reference/combine_matrices.h"
#include "math/simd/amd/family.h"
#include "math/simd/amd/kernels.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

constexpr std::uint32_t kSign = 0x80000000u;

struct Rows {
  Pair lo[4], hi[4];
};

// Column j of m as (m[0][j], m[1][j]) over (m[2][j], m[3][j]).
struct Columns {
  Pair top[4], bottom[4];
};

Rows LoadRows(const KMMATRIX* m) {
  Rows r;
  for (int i = 0; i < 4; ++i) {
    r.lo[i] = Load(m->m[i]);
    r.hi[i] = Load(m->m[i] + 2);
  }
  return r;
}

void StoreRows(KMMATRIX* out, const Rows& r) {
  for (int i = 0; i < 4; ++i) {
    Store(out->m[i], r.lo[i]);
    Store(out->m[i] + 2, r.hi[i]);
  }
}

Columns Transposed(const KMMATRIX* m) {
  const Rows r = LoadRows(m);
  Columns c;
  for (int half = 0; half < 2; ++half) {
    const Pair* a = half ? &r.lo[2] : &r.lo[0];
    const Pair* b = half ? &r.hi[2] : &r.hi[0];
    Pair* to = half ? c.bottom : c.top;
    to[0] = LowLanes(a[0], a[1]);
    to[1] = HighLanes(a[0], a[1]);
    to[2] = LowLanes(b[0], b[1]);
    to[3] = HighLanes(b[0], b[1]);
  }
  return c;
}

// One row of a product: out[j] = (a1 b1j + a2 b2j) + (a3 b3j + a4 b4j).
void ProductRow(Pair lo, Pair hi, const Columns& c, Pair& out_lo, Pair& out_hi) {
  Pair h[4];
  for (int j = 0; j < 4; ++j) h[j] = AddAcross(Mul(lo, c.top[j]), Mul(hi, c.bottom[j]));
  out_lo = AddAcross(h[0], h[1]);
  out_hi = AddAcross(h[2], h[3]);
}

Rows Identity() {
  Rows r;
  const Pair one_zero = Make(1.0f, 0.0f), zero_one = Make(0.0f, 1.0f), zero = Make(0.0f, 0.0f);
  r.lo[0] = one_zero;
  r.hi[0] = zero;
  r.lo[1] = zero_one;
  r.hi[1] = zero;
  r.lo[2] = zero;
  r.hi[2] = one_zero;
  r.lo[3] = zero;
  r.hi[3] = zero_one;
  return r;
}

// ---- Inverse and determinant ------------------------------------------------------

// The 2 x 2 minor over columns {p, q} that leaves out columns r and k, as an
// index into the six minors ordered (0,1) (0,2) (0,3) (1,2) (1,3) (2,3).
constexpr int kMinorWithout[4][4] = {{-1, 5, 4, 3}, {5, -1, 2, 1}, {4, 2, -1, 0}, {3, 1, 0, -1}};

// The six minors of two rows, two at a time.
template <bool Extended>
void Minors(const float* r0, const float* r1, float (&minor)[6]) {
  static constexpr int kPairs[3][4] = {{0, 1, 0, 2}, {0, 3, 1, 2}, {1, 3, 2, 3}};
  for (int n = 0; n < 3; ++n) {
    const int j = kPairs[n][0], k = kPairs[n][1], j2 = kPairs[n][2], k2 = kPairs[n][3];
    Pair m;
    if constexpr (Extended) {
      // (r0j r1k, r1j r0k) for both minors, subtracted across the lanes.
      const Pair first = Mul(Make(r0[j], r1[j]), ExtSwap(Make(r0[k], r1[k])));
      const Pair second = Mul(Make(r0[j2], r1[j2]), ExtSwap(Make(r0[k2], r1[k2])));
      m = ExtSubAcross(first, second);
    } else {
      m = Sub(Mul(Make(r0[j], r0[j2]), Make(r1[k], r1[k2])),
              Mul(Make(r1[j], r1[j2]), Make(r0[k], r0[k2])));
    }
    minor[2 * n] = Lo(m);
    minor[2 * n + 1] = Hi(m);
  }
}

struct Adjugate {
  Rows rows;  // the transposed cofactors: the inverse times the determinant
  Pair determinant;
};

template <bool Extended>
Adjugate AdjugateOf(const KMMATRIX* m) {
  float a[4][4];
  std::memcpy(a, m->m, sizeof a);
  float low[6], high[6];  // minors of rows 0, 1 and of rows 2, 3
  Minors<Extended>(a[0], a[1], low);
  Minors<Extended>(a[2], a[3], high);
  Adjugate adj;
  for (int r = 0; r < 4; ++r) {
    Pair sign = (r & 1) ? MakeBits(kSign, 0) : MakeBits(0, kSign);
    bool first = true;
    for (int k = 0; k < 4; ++k) {
      if (k == r) continue;
      const int minor = kMinorWithout[r][k];
      const Pair lo = Mul(Xor(Make(a[1][k], a[0][k]), sign), Splat(high[minor]));
      const Pair hi = Mul(Xor(Make(a[3][k], a[2][k]), sign), Splat(low[minor]));
      adj.rows.lo[r] = first ? lo : Add(adj.rows.lo[r], lo);
      adj.rows.hi[r] = first ? hi : Add(adj.rows.hi[r], hi);
      first = false;
      if constexpr (Extended) {
        sign = ExtSwap(sign);
      } else {
        sign = Swap(sign);
      }
    }
  }
  // First row of m against the first column of the adjugate.
  const Pair column_lo = LowLanes(adj.rows.lo[0], adj.rows.lo[1]);
  const Pair column_hi = LowLanes(adj.rows.lo[2], adj.rows.lo[3]);
  adj.determinant = HorizontalAdd(
      Add(Mul(Make(a[0][0], a[0][1]), column_lo), Mul(Make(a[0][2], a[0][3]), column_hi)));
  return adj;
}

template <bool Extended>
KMMATRIX* Inverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  PackedScope scope;
  const Adjugate adj = AdjugateOf<Extended>(m);
  // The caller gets the determinant even when the inverse fails.
  if (determinant != nullptr) *determinant = Lo(adj.determinant);
  if (Lo(adj.determinant) == 0.0f) return nullptr;
  const Pair k = Reciprocal(adj.determinant);
  // A determinant whose reciprocal does not fit a float (or a NaN) fails as
  // in the reference rather than filling out with infinities.
  if (!std::isfinite(Lo(k))) return nullptr;
  Rows r = adj.rows;
  for (int i = 0; i < 4; ++i) {
    r.lo[i] = Mul(r.lo[i], k);
    r.hi[i] = Mul(r.hi[i], k);
  }
  StoreRows(out, r);
  return out;
}

// ---- Builders -------------------------------------------------------------------------

Pair SineCosine(float angle) {
  const kernels::FloatPair sc = kernels::ScalarSineCosine(angle);
  return Make(sc.lo, sc.hi);  // (cos, sin)
}

// The rotation of q as rows; `Extended` forms the off-diagonal pairs with
// the cross-lane add and subtract.
template <bool Extended>
Rows RotationRows(const KMQUATERNION* q) {
  const Pair xy = Load(&q->x), zw = Load(&q->z);
  const Pair xy2 = Add(xy, xy), zw2 = Add(zw, zw);
  const float x2 = Lo(xy2), y2 = Hi(xy2), z2 = Lo(zw2), w = Hi(zw);
  const Pair sq = Mul(xy2, xy);  // (xx, yy)
  const float zz = z2 * q->z;
  const Pair x_yz = Mul(Splat(x2), Make(q->y, q->z));  // (xy, xz)
  const float yz = y2 * q->z;
  const Pair w_xy = Mul(Splat(w), xy2);  // (wx, wy)
  const float wz = z2 * w;
  const float yy = Hi(sq), xy_ = Lo(x_yz), xz = Hi(x_yz);
  const float wx = Lo(w_xy), wy = Hi(w_xy);
  const Pair one_minus = Sub(Splat(1.0f), sq);  // (1 - xx, 1 - yy)
  const float d11 = Hi(one_minus) - zz, d22 = Lo(one_minus) - zz, d33 = Lo(one_minus) - yy;
  Pair m21_12, m13_31, m32_23;
  if constexpr (Extended) {
    m21_12 = ExtSubAddAcross(Make(xy_, wz), Make(xy_, wz));
    m13_31 = ExtSubAddAcross(Make(xz, wy), Make(xz, wy));
    m32_23 = ExtSubAddAcross(Make(yz, wx), Make(yz, wx));
  } else {
    m21_12 = Add(Make(xy_, xy_), Make(-wz, wz));
    m13_31 = Add(Make(xz, xz), Make(-wy, wy));
    m32_23 = Add(Make(yz, yz), Make(-wx, wx));
  }
  Rows r = Identity();
  r.lo[0] = Make(d11, Hi(m21_12));
  r.hi[0] = Make(Lo(m13_31), 0.0f);
  r.lo[1] = Make(Lo(m21_12), d22);
  r.hi[1] = Make(Hi(m32_23), 0.0f);
  r.lo[2] = Make(Hi(m13_31), Lo(m32_23));
  r.hi[2] = Make(d33, 0.0f);
  return r;
}

template <bool Extended>
KMMATRIX* RotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  PackedScope scope;
  StoreRows(out, RotationRows<Extended>(q));
  return out;
}

// ---- Projection ---------------------------------------------------------------------

// world x view x projection of those given; the identity when none is.
const KMMATRIX* Combine(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                        const KMMATRIX* world) {
  return kubik::projection::Combine<&form::KMMatrixMultiply>(local, projection, view, world);
}

// The viewport's integer fields as floats, by the packed conversion.
void ViewportPairs(const KMVIEWPORT* viewport, Pair& origin, Pair& size) {
  origin = IntToFloat(MakeBits(viewport->X, viewport->Y));
  size = IntToFloat(MakeBits(viewport->Width, viewport->Height));
}

template <bool Extended>
KMVECTOR3* Unproject(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                     const KMMATRIX* projection, const KMMATRIX* view, const KMMATRIX* world) {
  PackedScope scope;
  KMMATRIX local;
  const KMMATRIX* combined = Combine(&local, projection, view, world);
  const KMMATRIX* inverse = combined;
  if (projection != nullptr || view != nullptr || world != nullptr) {
    // A singular combination is used uninverted, as the reference does.
    if (Inverse<Extended>(&local, nullptr, combined) != nullptr) {
      inverse = &local;
    }
  }
  if (viewport == nullptr) return form::KMVec3TransformCoord(out, v, inverse);
  Pair origin, size;
  ViewportPairs(viewport, origin, size);
  const Pair inverse_size = LowLanes(Reciprocal(size), Reciprocal(SplatHi(size)));
  // ((x - X) / W * 2 - 1, -((y - Y) / H * 2 - 1)), (z - MinZ) / (MaxZ - MinZ).
  const Pair unit = Sub(Mul(Mul(Sub(Load(&v->x), origin), inverse_size), Splat(2.0f)), Splat(1.0f));
  const Pair depth = Mul(Sub(LoadLow(&v->z), Splat(viewport->MinZ)),
                         Reciprocal(Splat(viewport->MaxZ - viewport->MinZ)));
  KMVECTOR3 p;
  Store(&p.x, Xor(unit, MakeBits(0, kSign)));
  StoreLow(&p.z, depth);
  return form::KMVec3TransformCoord(out, &p, inverse);
}

}  // namespace

float KMMatrixDeterminant(const KMMATRIX* m) {
  PackedScope scope;
  return Lo(AdjugateOf<false>(m).determinant);
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  PackedScope scope;
  // Both inputs are read whole first, so out may be either.
  const Rows a = LoadRows(m1);
  const Columns c = Transposed(m2);
  KMMATRIX product;
  for (int i = 0; i < 4; ++i) {
    Pair lo, hi;
    ProductRow(a.lo[i], a.hi[i], c, lo, hi);
    Store(product.m[i], lo);
    Store(product.m[i] + 2, hi);
  }
  const Columns t = Transposed(&product);
  for (int j = 0; j < 4; ++j) {
    Store(out->m[j], t.top[j]);
    Store(out->m[j] + 2, t.bottom[j]);
  }
  return out;
}

KMMATRIX* KMMatrixTranspose(KMMATRIX* out, const KMMATRIX* m) {
  PackedScope scope;
  const Columns t = Transposed(m);
  for (int j = 0; j < 4; ++j) {
    Store(out->m[j], t.top[j]);
    Store(out->m[j] + 2, t.bottom[j]);
  }
  return out;
}

KMMATRIX* KMMatrixTranslation(KMMATRIX* out, float x, float y, float z) {
  PackedScope scope;
  Rows r = Identity();
  r.lo[3] = Make(x, y);
  r.hi[3] = Make(z, 1.0f);
  StoreRows(out, r);
  return out;
}

KMMATRIX* KMMatrixScaling(KMMATRIX* out, float sx, float sy, float sz) {
  PackedScope scope;
  Rows r = Identity();
  r.lo[0] = Make(sx, 0.0f);
  r.lo[1] = Make(0.0f, sy);
  r.hi[2] = Make(sz, 0.0f);
  StoreRows(out, r);
  return out;
}

KMMATRIX* KMMatrixRotationX(KMMATRIX* out, float angle) {
  PackedScope scope;
  const Pair cs = SineCosine(angle);
  const float c = Lo(cs), s = Hi(cs);
  Rows r = Identity();
  r.lo[1] = Make(0.0f, c);
  r.hi[1] = Make(s, 0.0f);
  r.lo[2] = Make(0.0f, -s);
  r.hi[2] = Make(c, 0.0f);
  StoreRows(out, r);
  return out;
}

KMMATRIX* KMMatrixRotationY(KMMATRIX* out, float angle) {
  PackedScope scope;
  const Pair cs = SineCosine(angle);
  const float c = Lo(cs), s = Hi(cs);
  Rows r = Identity();
  r.lo[0] = Make(c, 0.0f);
  r.hi[0] = Make(-s, 0.0f);
  r.lo[2] = Make(s, 0.0f);
  r.hi[2] = Make(c, 0.0f);
  StoreRows(out, r);
  return out;
}

KMMATRIX* KMMatrixRotationZ(KMMATRIX* out, float angle) {
  PackedScope scope;
  const Pair cs = SineCosine(angle);
  Rows r = Identity();
  r.lo[0] = cs;
  r.lo[1] = Make(-Hi(cs), Lo(cs));
  StoreRows(out, r);
  return out;
}

// Roll about z, then pitch about x, then yaw about y.
KMMATRIX* KMMatrixRotationYawPitchRoll(KMMATRIX* out, float yaw, float pitch, float roll) {
  PackedScope scope;
  const Pair y = SineCosine(yaw), p = SineCosine(pitch), r = SineCosine(roll);
  const Pair sin_cos_yaw = Swap(y);  // (sy, cy)
  const Pair sp = SplatHi(p), cp = SplatLo(p), sr = SplatHi(r), cr = SplatLo(r);
  const Pair sp_y = Mul(sp, sin_cos_yaw);  // (sp sy, sp cy)
  const Pair sr_sp_y = Mul(sr, sp_y), cr_sp_y = Mul(cr, sp_y);
  const Pair cr_y = Mul(cr, y), sr_y = Mul(sr, y);  // (cr cy, cr sy), (sr cy, sr sy)
  const Pair cp_r = Mul(cp, Swap(r));               // (cp sr, cp cr)
  Rows m = Identity();
  m.lo[0] = Make(Lo(cr_y) + Lo(sr_sp_y), Lo(cp_r));
  m.hi[0] = Make(Hi(sr_sp_y) - Hi(cr_y), 0.0f);
  m.lo[1] = Make(Lo(cr_sp_y) - Lo(sr_y), Hi(cp_r));
  m.hi[1] = Make(Hi(sr_y) + Hi(cr_sp_y), 0.0f);
  const Pair cp_y = Mul(cp, sin_cos_yaw);  // (cp sy, cp cy)
  // 0 - sin pitch, not its negation: a pitch of 0 gives +0, as in the identity.
  m.lo[2] = Make(Lo(cp_y), 0.0f - Lo(sp));
  m.hi[2] = Make(Hi(cp_y), 0.0f);
  StoreRows(out, m);
  return out;
}

KMMATRIX* KMMatrixRotationAxis(KMMATRIX* out, const KMVECTOR3* axis, float angle) {
  PackedScope scope;
  KMVECTOR3 unit;
  form::KMVec3Normalize(&unit, axis);
  const Pair cs = SineCosine(angle);
  const float c = Lo(cs), s = Hi(cs);
  const Pair t = Splat(1.0f - c);
  const Pair xy = Load(&unit.x), zz = Splat(unit.z);
  const Pair t_xy = Mul(t, Mul(xy, Swap(xy)));  // (t xy, t xy)
  const Pair t_xz_yz = Mul(t, Mul(xy, zz));     // (t xz, t yz)
  const Pair t_sq = Mul(t, Mul(xy, xy));        // (t xx, t yy)
  const Pair s_xy = Mul(Splat(s), xy), s_z = Splat(s * unit.z);
  const float tzz = Lo(t) * (unit.z * unit.z);
  Rows m = Identity();
  m.lo[0] = Make(Lo(t_sq) + c, Lo(Add(t_xy, s_z)));
  m.hi[0] = Make(Lo(t_xz_yz) - Hi(s_xy), 0.0f);
  m.lo[1] = Make(Lo(Sub(t_xy, s_z)), Hi(t_sq) + c);
  m.hi[1] = Make(Hi(t_xz_yz) + Lo(s_xy), 0.0f);
  m.lo[2] = Make(Lo(t_xz_yz) + Hi(s_xy), Hi(t_xz_yz) - Lo(s_xy));
  m.hi[2] = Make(tzz + c, 0.0f);
  StoreRows(out, m);
  return out;
}

KMMATRIX* KMMatrixAffineTransformation(KMMATRIX* out, float scaling,
                                       const KMVECTOR3* rotation_centre,
                                       const KMQUATERNION* rotation, const KMVECTOR3* translation) {
  PackedScope scope;
  Rows m = Identity();
  const Pair s = Splat(scaling);
  if (rotation == nullptr) {
    m.lo[0] = Make(scaling, 0.0f);
    m.lo[1] = Make(0.0f, scaling);
    m.hi[2] = Make(scaling, 0.0f);
  } else {
    const Rows r = RotationRows<false>(rotation);
    for (int i = 0; i < 3; ++i) {
      m.lo[i] = Mul(s, r.lo[i]);
      m.hi[i] = Mul(s, r.hi[i]);
    }
    if (rotation_centre != nullptr) {
      // (-c, 1) x R + c: the rotation about the centre.
      const Pair cx = Splat(-rotation_centre->x), cy = Splat(-rotation_centre->y);
      const Pair cz = Splat(-rotation_centre->z);
      Pair lo = Add(Add(Mul(cx, r.lo[0]), Mul(cy, r.lo[1])), Mul(cz, r.lo[2]));
      Pair hi = Add(Add(Mul(cx, r.hi[0]), Mul(cy, r.hi[1])), Mul(cz, r.hi[2]));
      lo = Add(Add(lo, r.lo[3]), Load(&rotation_centre->x));
      hi = Add(Add(hi, r.hi[3]), Make(rotation_centre->z, 0.0f));
      m.lo[3] = lo;
      m.hi[3] = hi;
    }
  }
  if (translation != nullptr) {
    m.lo[3] = Add(m.lo[3], Load(&translation->x));
    m.hi[3] = Add(m.hi[3], Make(translation->z, 0.0f));
  }
  StoreRows(out, m);
  return out;
}

// KMMatrixShadow and reflection work on the normalised plane.
KMMATRIX* KMMatrixShadow(KMMATRIX* out, const KMVECTOR4* light, const KMPLANE* plane) {
  PackedScope scope;
  KMPLANE p;
  form::KMPlaneNormalize(&p, plane);
  const Pair l_lo = Load(&light->x), l_hi = Load(&light->z);
  const Pair d = HorizontalAdd(Add(Mul(Load(&p.a), l_lo), Mul(Load(&p.c), l_hi)));
  const float pv[4] = {p.a, p.b, p.c, p.d};
  Rows m;
  for (int r = 0; r < 4; ++r) {
    const Pair diagonal_lo = And(d, r == 0   ? MakeBits(~0u, 0)
                                    : r == 1 ? MakeBits(0, ~0u)
                                             : Make(0, 0));
    const Pair diagonal_hi = And(d, r == 2   ? MakeBits(~0u, 0)
                                    : r == 3 ? MakeBits(0, ~0u)
                                             : Make(0, 0));
    m.lo[r] = Sub(diagonal_lo, Mul(Splat(pv[r]), l_lo));
    m.hi[r] = Sub(diagonal_hi, Mul(Splat(pv[r]), l_hi));
  }
  StoreRows(out, m);
  return out;
}

KMMATRIX* KMMatrixReflect(KMMATRIX* out, const KMPLANE* plane) {
  PackedScope scope;
  KMPLANE p;
  form::KMPlaneNormalize(&p, plane);
  const Pair n_lo = Mul(Splat(-2.0f), Load(&p.a));     // (-2a, -2b)
  const Pair n_hi = Mul(Splat(-2.0f), LoadLow(&p.c));  // (-2c, -0)
  const Pair first_lane = MakeBits(~0u, 0);
  const float pv[4] = {p.a, p.b, p.c, p.d};
  Rows m = Identity();
  for (int r = 0; r < 4; ++r) {
    m.lo[r] = Add(Mul(Splat(pv[r]), n_lo), m.lo[r]);
    // The fourth column stays (0, 0, 0, 1) whatever the plane holds.
    m.hi[r] = Add(And(Mul(Splat(pv[r]), n_hi), first_lane), m.hi[r]);
  }
  StoreRows(out, m);
  return out;
}

KMVECTOR3* KMVec3Project(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                         const KMMATRIX* projection, const KMMATRIX* view, const KMMATRIX* world) {
  PackedScope scope;
  KMMATRIX local;
  form::KMVec3TransformCoord(out, v, Combine(&local, projection, view, world));
  if (viewport != nullptr) {
    Pair origin, size;
    ViewportPairs(viewport, origin, size);
    // (X + (1 + x) W / 2, Y + (1 - y) H / 2), MinZ + z (MaxZ - MinZ).
    const Pair from_centre = Add(Splat(1.0f), Xor(Load(&out->x), MakeBits(0, kSign)));
    Store(&out->x, Add(origin, Mul(Mul(from_centre, size), Splat(0.5f))));
    const Pair depth = Splat(viewport->MaxZ - viewport->MinZ);
    StoreLow(&out->z, Add(Splat(viewport->MinZ), Mul(LoadLow(&out->z), depth)));
  }
  return out;
}

KMVECTOR3* KMVec3Unproject(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                           const KMMATRIX* projection, const KMMATRIX* view,
                           const KMMATRIX* world) {
  return Unproject<false>(out, v, viewport, projection, view, world);
}

KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  return RotationQuaternion<false>(out, q);
}

namespace extended {

KMVECTOR3* KMVec3Unproject(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                           const KMMATRIX* projection, const KMMATRIX* view,
                           const KMMATRIX* world) {
  return Unproject<true>(out, v, viewport, projection, view, world);
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  return Inverse<true>(out, determinant, m);
}

KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  return RotationQuaternion<true>(out, q);
}

}  // namespace extended

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  PackedScope scope;
  // m2 is copied whole, and row i of m1 is read just before row i of out
  // is written: out may be m1, m2 or both.
  const Columns c = Transposed(m2);
  for (int i = 0; i < 4; ++i) {
    Pair lo, hi;
    ProductRow(Load(m1->m[i]), Load(m1->m[i] + 2), c, lo, hi);
    Store(out->m[i], lo);
    Store(out->m[i] + 2, hi);
  }
  return out;
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  return Inverse<false>(out, determinant, m);
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
