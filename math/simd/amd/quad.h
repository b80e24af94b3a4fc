// Four floats as two pairs, and the transforms and normalisation steps the
// 3DNow! vector, plane and quaternion operations share. Internal linkage:
// each source compiles its own copy in its own pair form.
#pragma once

#include <cstdint>

#include "math/simd/amd/family.h"

namespace kubik::amd::KUBIK_AMD_FORM {
namespace {

constexpr std::uint32_t kSign = 0x80000000u;

inline Pair SmallestNormal() {
  return MakeBits(0x00800000u, 0x00800000u);
}

// Lanes whose squared length is above the smallest normal float.
inline Pair AboveGuard(Pair length_sq) {
  return Greater(length_sq, SmallestNormal());
}

// A point or vector and the matrix rows it meets, as (x, y) and (z, w) pairs.
struct Quad {
  Pair lo, hi;
};

inline Quad LoadQuad(const float* p) {
  return {Load(p), Load(p + 2)};
}

void StoreQuad(float* p, Quad q) {
  Store(p, q.lo);
  Store(p + 2, q.hi);
}

// sum over i < N of in[i] * row i, plus row 4 when Translate.
template <int N, bool Translate>
inline Quad TransformRows(const float (&in)[N], const KMMATRIX* m) {
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
inline Quad ScaleToUnit(Quad v, Pair length_sq) {
  const Pair k = ReciprocalSqrt(length_sq);
  const Pair keep = AboveGuard(length_sq);
  // The mask is applied to the products too: where the estimate of a zero
  // length is infinite rather than the largest float, 0 * k is not 0.
  return {And(Mul(And(v.lo, keep), k), keep), And(Mul(And(v.hi, keep), k), keep)};
}

// (x*x + z*z) + (y*y + w*w), the four-term grouping.
inline Pair LengthSquared4(Quad v) {
  return HorizontalAdd(Add(Mul(v.lo, v.lo), Mul(v.hi, v.hi)));
}

template <class Record>
Record* Normalize4(Record* out, const Record* v) {
  PackedScope scope;
  const Quad q = LoadQuad(reinterpret_cast<const float*>(v));
  StoreQuad(reinterpret_cast<float*>(out), ScaleToUnit(q, LengthSquared4(q)));
  return out;
}

}  // namespace
}  // namespace kubik::amd::KUBIK_AMD_FORM
