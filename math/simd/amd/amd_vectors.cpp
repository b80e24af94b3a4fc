// 3DNow! vector, plane and half-precision operations on the pair layer.
// Every routine reads all of its inputs before its first store, so outputs
// may alias inputs wherever the reference allows it.
#include <cfloat>
#include <cstdint>

#include "math/reference/reference.h"
#include "math/simd/amd/family.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

constexpr std::uint32_t kSign = 0x80000000u;

Pair SmallestNormal() {
  return MakeBits(0x00800000u, 0x00800000u);
}

// Lanes whose squared length is above the smallest normal float.
Pair AboveGuard(Pair length_sq) {
  return Greater(length_sq, SmallestNormal());
}

// A point or vector and the matrix rows it meets, as (x, y) and (z, w) pairs.
struct Quad {
  Pair lo, hi;
};

Quad LoadQuad(const float* p) {
  return {Load(p), Load(p + 2)};
}

void StoreQuad(float* p, Quad q) {
  Store(p, q.lo);
  Store(p + 2, q.hi);
}

// sum over i < N of in[i] * row i, plus row 4 when Translate.
template <int N, bool Translate>
Quad TransformRows(const float (&in)[N], const KMMATRIX* m) {
  Quad sum{};
  for (int i = 0; i < N; ++i) {
    const Pair c = Splat(in[i]);
    const Quad row = LoadQuad(m->m[i]);
    if (i == 0) {
      sum = {Mul(c, row.lo), Mul(c, row.hi)};
    } else {
      sum = {Add(sum.lo, Mul(c, row.lo)), Add(sum.hi, Mul(c, row.hi))};
    }
  }
  if constexpr (Translate) {
    const Quad row = LoadQuad(m->m[3]);
    sum = {Add(sum.lo, row.lo), Add(sum.hi, row.hi)};
  }
  return sum;
}

template <int N, class Record>
void Read(float (&to)[N], const Record* from) {
  static_assert(sizeof(Record) == N * sizeof(float));
  std::memcpy(to, from, sizeof to);
}

// Stores the first N floats of q.
template <int N>
void StoreFirst(float* out, Quad q) {
  static_assert(N >= 2 && N <= 4);
  Store(out, q.lo);
  if constexpr (N == 3) StoreLow(out + 2, q.hi);
  if constexpr (N == 4) Store(out + 2, q.hi);
}

template <int N, class Out, class In>
Out* Transform(Out* out, const In* v, const KMMATRIX* m) {
  PackedScope scope;
  float in[N];
  Read(in, v);
  StoreQuad(reinterpret_cast<float*>(out), TransformRows<N, (N < 4)>(in, m));
  return out;
}

template <int N, class Record>
Record* TransformNormal(Record* out, const Record* v, const KMMATRIX* m) {
  PackedScope scope;
  float in[N];
  Read(in, v);
  StoreFirst<N>(reinterpret_cast<float*>(out), TransformRows<N, false>(in, m));
  return out;
}

// As the point transform, then every component times 1/w; w is not tested.
template <int N, class Record>
Record* TransformCoord(Record* out, const Record* v, const KMMATRIX* m) {
  PackedScope scope;
  float in[N];
  Read(in, v);
  const Quad p = TransformRows<N, true>(in, m);
  const Pair k = Reciprocal(SplatHi(p.hi));
  StoreFirst<N>(reinterpret_cast<float*>(out), {Mul(p.lo, k), Mul(p.hi, k)});
  return out;
}

// ---- Normalisation -------------------------------------------------------------

// Scales (lo, hi) by 1/sqrt(length_sq), or gives zeros when the squared
// length is not above the smallest normal float. No unit-length shortcut.
Quad ScaleToUnit(Quad v, Pair length_sq) {
  const Pair k = ReciprocalSqrt(length_sq);
  const Pair keep = AboveGuard(length_sq);
  // The mask is applied to the products too: where the estimate of a zero
  // length is infinite rather than the largest float, 0 * k is not 0.
  return {And(Mul(And(v.lo, keep), k), keep), And(Mul(And(v.hi, keep), k), keep)};
}

// (x*x + z*z) + (y*y + w*w), the four-term grouping.
Pair LengthSquared4(Quad v) {
  return HorizontalAdd(Add(Mul(v.lo, v.lo), Mul(v.hi, v.hi)));
}

template <class Record>
Record* Normalize4(Record* out, const Record* v) {
  PackedScope scope;
  const Quad q = LoadQuad(reinterpret_cast<const float*>(v));
  StoreQuad(reinterpret_cast<float*>(out), ScaleToUnit(q, LengthSquared4(q)));
  return out;
}

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

// ---- Half precision ----------------------------------------------------------------

std::uint16_t FloatToHalf(float value) {
  const std::uint32_t v = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t sign = (v >> 16) & 0x8000u;
  std::uint32_t a = v & 0x7fffffffu;
  constexpr float kSmallestNormalHalf = 0x1p-14f;
  if (std::bit_cast<float>(a) <= kSmallestNormalHalf) {
    // Shifts a subnormal half's bits into place by a float addition,
    // which rounds once before the rounding below.
    a = std::bit_cast<std::uint32_t>(std::bit_cast<float>(a) + kSmallestNormalHalf) - 0x00800000u;
  }
  std::uint32_t h = (a + ((a >> 13) & 1u) + 0xfffu - 0x38000000u) >> 13;
  if (a > 0x47ffefffu) h = 0x7fffu;
  return static_cast<std::uint16_t>(h | sign);
}

float HalfToFloat(std::uint16_t h) {
  const std::uint32_t sign = h & 0x8000u;
  const std::uint32_t magnitude = h & 0x7fffu;
  const bool subnormal = (h & 0x7c00u) == 0;
  const std::uint32_t bits = (magnitude + 0x0001c000u + (subnormal ? 0x0400u : 0u)) << 13;
  float f = std::bit_cast<float>(bits);
  if (subnormal) f -= 0x1p-14f;
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(f) | (sign << 16));
}

// Four values per step; a last partial block steps back to end at n - 1.
template <class Four>
void InBlocksOfFour(std::uint32_t n, Four four) {
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) four(i);
  if (i < n) four(n - 4);
}

// ---- The slots ---------------------------------------------------------------------

// ---- Planes ------------------------------------------------------------------------

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

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  return Transform<4>(out, plane, m);
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

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  PackedScope scope;
  const Pair xy = Load(&v->x);
  const Pair length_sq = HorizontalAdd(Mul(xy, xy));
  const Pair keep = AboveGuard(length_sq);
  Store(&out->x, And(Mul(And(xy, keep), ReciprocalSqrt(length_sq)), keep));
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

KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, std::uint32_t n) {
  if (n < 4) return reference::KMFloat32To16Array(out, in, n);
  InBlocksOfFour(n, [&](std::uint32_t i) {
    for (std::uint32_t j = i; j < i + 4; ++j) out[j].value = FloatToHalf(in[j]);
  });
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, std::uint32_t n) {
  if (n < 4) return reference::KMFloat16To32Array(out, in, n);
  InBlocksOfFour(n, [&](std::uint32_t i) {
    for (std::uint32_t j = i; j < i + 4; ++j) out[j] = HalfToFloat(in[j].value);
  });
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

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  PackedScope scope;
  const Quad p = LoadQuad(&plane->a);
  const Pair c0 = LowLanes(p.hi, Make(0.0f, 0.0f));
  StoreQuad(&out->a, ScaleToUnit(p, HorizontalAdd(Add(Mul(p.lo, p.lo), Mul(c0, c0)))));
  return out;
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return TransformCoord<3>(out, v, m);
}

// Quaternion normalisation shares the four-component steps.
KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q) {
  return Normalize4(out, q);
}

}  // namespace kubik::amd::KUBIK_AMD_FORM
