// 3DNow! vector operations on the pair layer. Every routine reads all of its
// inputs before its first store, so outputs may alias inputs wherever the
// reference allows it.
#include <cstdint>

#include "math/simd/amd/family.h"
#include "math/simd/amd/quad.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

// ---- Splines ----------------------------------------------------------------------

// Weights of the four points as rows over 1, s, s^2 and s^3.
struct SplineRows {
  float constant[4], s[4], s2[4], s3[4];
};

constexpr SplineRows kHermite = {{1, 0, 0, 0}, {0, 1, 0, 0}, {-3, -2, 3, -1}, {2, 1, -2, 1}};
constexpr SplineRows kCatmullRom = {
    {0, 1, 0, 0}, {-0.5f, 0, 0.5f, 0}, {1, -2.5f, 2, -0.5f}, {-0.5f, 1.5f, -1.5f, 0.5f}};

// ((s * srow + constant) + s^2 * s2row) + s^3 * s3row, as two pairs.
Quad SplineWeights(const SplineRows& rows, float s) {
  const Pair s1 = Splat(s);
  const Pair s2 = Mul(s1, s1);
  const Pair s3 = Mul(s1, s2);
  Quad w;
  for (int half = 0; half < 2; ++half) {
    const int i = half * 2;
    Pair p = Add(Mul(s1, Load(rows.s + i)), Load(rows.constant + i));
    p = Add(p, Mul(s2, Load(rows.s2 + i)));
    p = Add(p, Mul(s3, Load(rows.s3 + i)));
    (half ? w.hi : w.lo) = p;
  }
  return w;
}

// ((W0 * p1 + W1 * p2) + W2 * p3) + W3 * p4, one pair of components at a time.
template <int N, class Record>
Record* Combine(Record* out, Quad w, const Record* p1, const Record* p2, const Record* p3,
                const Record* p4) {
  float a[4][4] = {};
  Read(reinterpret_cast<float(&)[N]>(a[0]), p1);
  Read(reinterpret_cast<float(&)[N]>(a[1]), p2);
  Read(reinterpret_cast<float(&)[N]>(a[2]), p3);
  Read(reinterpret_cast<float(&)[N]>(a[3]), p4);
  const Pair weight[4] = {SplatLo(w.lo), SplatHi(w.lo), SplatLo(w.hi), SplatHi(w.hi)};
  Quad sum{};
  for (int j = 0; j < 4; ++j) {
    const Quad p = LoadQuad(a[j]);
    sum.lo = j ? Add(sum.lo, Mul(weight[j], p.lo)) : Mul(weight[j], p.lo);
    sum.hi = j ? Add(sum.hi, Mul(weight[j], p.hi)) : Mul(weight[j], p.hi);
  }
  StoreFirst<N>(reinterpret_cast<float*>(out), sum);
  return out;
}

template <int N, class Record>
Record* Hermite(Record* out, const Record* v1, const Record* t1, const Record* v2, const Record* t2,
                float s) {
  PackedScope scope;
  return Combine<N>(out, SplineWeights(kHermite, s), v1, t1, v2, t2);
}

template <int N, class Record>
Record* CatmullRom(Record* out, const Record* v0, const Record* v1, const Record* v2,
                   const Record* v3, float s) {
  PackedScope scope;
  return Combine<N>(out, SplineWeights(kCatmullRom, s), v0, v1, v2, v3);
}

// v1 + (f * (v2 - v1) + g * (v3 - v1)).
template <int N, class Record>
Record* BaryCentric(Record* out, const Record* v1, const Record* v2, const Record* v3, float f,
                    float g) {
  PackedScope scope;
  float a[3][4] = {};
  Read(reinterpret_cast<float(&)[N]>(a[0]), v1);
  Read(reinterpret_cast<float(&)[N]>(a[1]), v2);
  Read(reinterpret_cast<float(&)[N]>(a[2]), v3);
  const Quad p = LoadQuad(a[0]), q = LoadQuad(a[1]), r = LoadQuad(a[2]);
  const Pair pf = Splat(f), pg = Splat(g);
  const Quad sum{Add(p.lo, Add(Mul(pf, Sub(q.lo, p.lo)), Mul(pg, Sub(r.lo, p.lo)))),
                 Add(p.hi, Add(Mul(pf, Sub(q.hi, p.hi)), Mul(pg, Sub(r.hi, p.hi))))};
  StoreFirst<N>(reinterpret_cast<float*>(out), sum);
  return out;
}

}  // namespace

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return Transform<2>(out, v, m);
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return Transform<3>(out, v, m);
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  return Transform<4>(out, v, m);
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return TransformNormal<2>(out, v, m);
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return TransformNormal<3>(out, v, m);
}

KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return TransformCoord<2>(out, v, m);
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return TransformCoord<3>(out, v, m);
}

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  PackedScope scope;
  const Pair xy = Load(&v->x);
  const Pair length_sq = HorizontalAdd(Mul(xy, xy));
  const Pair keep = AboveGuard(length_sq);
  Store(&out->x, And(Mul(And(xy, keep), ReciprocalSqrt(length_sq)), keep));
  return out;
}

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  PackedScope scope;
  // (x, y) and (z, 0): L = (x*x + z*z) + y*y.
  const Quad q{Load(&v->x), LoadLow(&v->z)};
  const Quad unit = ScaleToUnit(q, HorizontalAdd(Add(Mul(q.lo, q.lo), Mul(q.hi, q.hi))));
  Store(&out->x, unit.lo);
  StoreLow(&out->z, unit.hi);
  return out;
}

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  return Normalize4(out, v);
}

KMVECTOR4* KMVec4Cross(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                       const KMVECTOR4* v3) {
  PackedScope scope;
  float u[4], v[4], w[4];
  Read(u, v1);
  Read(v, v2);
  Read(w, v3);
  // The six 2 x 2 minors of v2 and v3, two at a time.
  const Pair ab = Sub(Mul(Splat(v[0]), Make(w[1], w[2])), Mul(Make(v[1], v[2]), Splat(w[0])));
  const Pair cd =
      Sub(Mul(Make(v[0], v[1]), Make(w[3], w[2])), Mul(Make(v[3], v[2]), Make(w[0], w[1])));
  const Pair ef = Sub(Mul(Make(v[1], v[2]), Splat(w[3])), Mul(Splat(v[3]), Make(w[1], w[2])));
  const float a = Lo(ab), b = Hi(ab), c = Lo(cd), d = Hi(cd), e = Lo(ef), f = Hi(ef);
  // (f uy - e uz + d uw, c uz - f ux - b uw) and (e ux - c uy + a uw, b uy - d ux - a uz).
  const Pair xy = Add(Sub(Mul(Make(f, c), Make(u[1], u[2])), Mul(Make(e, f), Make(u[2], u[0]))),
                      Mul(Xor(Make(d, b), MakeBits(0, kSign)), Splat(u[3])));
  const Pair zw = Add(Sub(Mul(Make(e, b), Make(u[0], u[1])), Mul(Make(c, d), Make(u[1], u[0]))),
                      Mul(Xor(Splat(a), MakeBits(0, kSign)), Make(u[3], u[2])));
  StoreQuad(&out->x, {xy, zw});
  return out;
}

KMVECTOR2* KMVec2Hermite(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* t1,
                         const KMVECTOR2* v2, const KMVECTOR2* t2, float s) {
  return Hermite<2>(out, v1, t1, v2, t2, s);
}

KMVECTOR3* KMVec3Hermite(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* t1,
                         const KMVECTOR3* v2, const KMVECTOR3* t2, float s) {
  return Hermite<3>(out, v1, t1, v2, t2, s);
}

KMVECTOR4* KMVec4Hermite(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* t1,
                         const KMVECTOR4* v2, const KMVECTOR4* t2, float s) {
  return Hermite<4>(out, v1, t1, v2, t2, s);
}

KMVECTOR2* KMVec2CatmullRom(KMVECTOR2* out, const KMVECTOR2* v0, const KMVECTOR2* v1,
                            const KMVECTOR2* v2, const KMVECTOR2* v3, float s) {
  return CatmullRom<2>(out, v0, v1, v2, v3, s);
}

KMVECTOR3* KMVec3CatmullRom(KMVECTOR3* out, const KMVECTOR3* v0, const KMVECTOR3* v1,
                            const KMVECTOR3* v2, const KMVECTOR3* v3, float s) {
  return CatmullRom<3>(out, v0, v1, v2, v3, s);
}

KMVECTOR4* KMVec4CatmullRom(KMVECTOR4* out, const KMVECTOR4* v0, const KMVECTOR4* v1,
                            const KMVECTOR4* v2, const KMVECTOR4* v3, float s) {
  return CatmullRom<4>(out, v0, v1, v2, v3, s);
}

KMVECTOR2* KMVec2BaryCentric(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* v2,
                             const KMVECTOR2* v3, float f, float g) {
  return BaryCentric<2>(out, v1, v2, v3, f, g);
}

KMVECTOR3* KMVec3BaryCentric(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                             const KMVECTOR3* v3, float f, float g) {
  return BaryCentric<3>(out, v1, v2, v3, f, g);
}

KMVECTOR4* KMVec4BaryCentric(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                             const KMVECTOR4* v3, float f, float g) {
  return BaryCentric<4>(out, v1, v2, v3, f, g);
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
