// Reference vector operations: sums and products are carried in double and
// each stored component is rounded to float once.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/reference/reference.h"
#include "math/types/float_compare.h"

namespace kubik::reference {
namespace {

// A vector record is exactly its floats; these move it to and from an array
// so the families can share one loop.
template <typename Record>
constexpr int kComponents = static_cast<int>(sizeof(Record) / sizeof(float));

template <typename Record>
void Load(float (&to)[kComponents<Record>], const Record* from) {
  static_assert(sizeof(Record) % sizeof(float) == 0);
  std::memcpy(to, from, sizeof(Record));
}

template <typename Record>
void Store(Record* to, const float (&from)[kComponents<Record>]) {
  std::memcpy(to, from, sizeof(Record));
}

// Shared by the 2-, 3- and 4-component normalisers. All inputs are read
// before anything is stored, so out may be v.
template <typename Record>
Record* Normalize(Record* out, const Record* v) {
  constexpr int N = kComponents<Record>;
  float c[N];
  Load(c, v);
  double sum = 0.0;
  for (int i = 0; i < N; ++i) sum += static_cast<double>(c[i]) * c[i];
  const float length_sq = static_cast<float>(sum);
  if (FloatNearlyEqual(length_sq, 1.0f)) {
    // Already unit length: left exactly as it is.
    if (out != v) Store(out, c);
    return out;
  }
  if (length_sq > FLT_MIN) {
    const double k = 1.0 / std::sqrt(static_cast<double>(length_sq));
    for (int i = 0; i < N; ++i) c[i] = static_cast<float>(k * c[i]);
  } else {
    // Tiny, zero or NaN: the zero vector is the only defined answer.
    for (int i = 0; i < N; ++i) c[i] = 0.0f;
  }
  Store(out, c);
  return out;
}

// ---- Splines and barycentric combination ----------------------------------
// Every input is read whole before out is written, so out may be any input.

template <typename Record>
Record* Hermite(Record* out, const Record* v1, const Record* t1, const Record* v2, const Record* t2,
                float s) {
  constexpr int N = kComponents<Record>;
  float p0[N], m0[N], p1[N], m1[N], r[N];
  Load(p0, v1);
  Load(m0, t1);
  Load(p1, v2);
  Load(m1, t2);
  const double s1 = s, s2 = s1 * s1, s3 = s1 * s2;
  const double h1 = 2.0 * s3 - 3.0 * s2 + 1.0;
  const double h2 = 3.0 * s2 - 2.0 * s3;
  const double h3 = s3 - 2.0 * s2 + s1;
  const double h4 = s3 - s2;
  for (int i = 0; i < N; ++i) {
    r[i] = static_cast<float>(h1 * p0[i] + h3 * m0[i] + h2 * p1[i] + h4 * m1[i]);
  }
  Store(out, r);
  return out;
}

template <typename Record>
Record* CatmullRom(Record* out, const Record* v0, const Record* v1, const Record* v2,
                   const Record* v3, float s) {
  constexpr int N = kComponents<Record>;
  float p0[N], p1[N], p2[N], p3[N], r[N];
  Load(p0, v0);
  Load(p1, v1);
  Load(p2, v2);
  Load(p3, v3);
  const double s1 = s, s2 = s1 * s1, s3 = s1 * s2;
  const double w0 = 2.0 * s2 - s3 - s1;
  const double w1 = 3.0 * s3 - 5.0 * s2 + 2.0;
  const double w2 = 4.0 * s2 - 3.0 * s3 + s1;
  const double w3 = s3 - s2;
  for (int i = 0; i < N; ++i) {
    r[i] = static_cast<float>(0.5 * (w0 * p0[i] + w1 * p1[i] + w2 * p2[i] + w3 * p3[i]));
  }
  Store(out, r);
  return out;
}

template <typename Record>
Record* BaryCentric(Record* out, const Record* v1, const Record* v2, const Record* v3, float f,
                    float g) {
  constexpr int N = kComponents<Record>;
  float a[N], b[N], c[N], r[N];
  Load(a, v1);
  Load(b, v2);
  Load(c, v3);
  for (int i = 0; i < N; ++i) {
    const double base = a[i];
    r[i] = static_cast<float>(base + (f * (b[i] - base) + g * (c[i] - base)));
  }
  Store(out, r);
  return out;
}

// ---- Transforms ------------------------------------------------------------

enum class Form {
  kPoint,      // (v, [0,] 1) x M, all four components
  kCoord,      // as kPoint, then divided by w unless w is nearly 1
  kDirection,  // (v, [0,] 0) x M, only the input's components
};

template <int InN, Form F>
constexpr int kOutComponents = F == Form::kPoint ? 4 : InN;

// One element. Absent input components are zero and their matrix rows are
// not read, so a 2-D transform never sees the third row and a direction
// never sees the translation.
template <int InN, Form F>
void TransformOne(float (&out)[(kOutComponents<InN, F>)], const float (&in)[InN], const KMMATRIX& m) {
  constexpr int kOut = kOutComponents<InN, F>;
  double product[4];
  for (int j = 0; j < 4; ++j) {
    double sum = 0.0;
    for (int i = 0; i < InN; ++i) sum += static_cast<double>(in[i]) * m.m[i][j];
    if (InN < 4 && F != Form::kDirection) sum += m.m[3][j];
    product[j] = sum;
  }
  for (int j = 0; j < kOut; ++j) out[j] = static_cast<float>(product[j]);
  if constexpr (F == Form::kCoord) {
    const float w = static_cast<float>(product[3]);
    if (!FloatNearlyEqual(w, 1.0f)) {
      // No test for w = 0: the components become infinite (NaN where zero).
      const double r = 1.0 / w;
      for (int j = 0; j < kOut; ++j) out[j] = static_cast<float>(out[j] * r);
    }
  }
}

template <int InN, Form F, typename OutRecord, typename InRecord>
OutRecord* Transform(OutRecord* out, const InRecord* v, const KMMATRIX* m) {
  static_assert(kComponents<InRecord> == InN);
  static_assert(kComponents<OutRecord> == kOutComponents<InN, F>);
  float in[InN];
  float result[kOutComponents<InN, F>];
  Load(in, v);
  TransformOne<InN, F>(result, in, *m);
  Store(out, result);
  return out;
}

// Elements may sit at any byte offset in interleaved data, so they are moved
// with memcpy and exactly their own bytes are written.
template <int InN, Form F, typename OutRecord, typename InRecord>
OutRecord* TransformArray(OutRecord* out, std::uint32_t out_stride, const InRecord* v,
                          std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  static_assert(sizeof(InRecord) == InN * sizeof(float));
  static_assert(sizeof(OutRecord) == kOutComponents<InN, F> * sizeof(float));
  auto* out_bytes = reinterpret_cast<unsigned char*>(out);
  const auto* in_bytes = reinterpret_cast<const unsigned char*>(v);
  for (std::uint32_t i = 0; i < n; ++i) {
    float in[InN];
    float result[kOutComponents<InN, F>];
    std::memcpy(in, in_bytes + std::size_t{i} * v_stride, sizeof in);
    TransformOne<InN, F>(result, in, *m);
    std::memcpy(out_bytes + std::size_t{i} * out_stride, result, sizeof result);
  }
  return out;
}

}  // namespace

KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  return Normalize(out, v);
}

KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v) {
  return Normalize(out, v);
}

KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v) {
  return Normalize(out, v);
}

KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return Transform<2, Form::kPoint>(out, v, m);
}

KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return Transform<3, Form::kPoint>(out, v, m);
}

KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m) {
  return Transform<4, Form::kPoint>(out, v, m);
}

KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return Transform<2, Form::kDirection>(out, v, m);
}

KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return Transform<3, Form::kDirection>(out, v, m);
}

KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m) {
  return Transform<2, Form::kCoord>(out, v, m);
}

KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m) {
  return Transform<3, Form::kCoord>(out, v, m);
}

KMVECTOR4* KMVec4Cross(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                       const KMVECTOR4* v3) {
  const double ux = v1->x, uy = v1->y, uz = v1->z, uw = v1->w;
  const double vx = v2->x, vy = v2->y, vz = v2->z, vw = v2->w;
  const double wx = v3->x, wy = v3->y, wz = v3->z, ww = v3->w;
  // The six 2 x 2 minors of the second and third vectors.
  const double a = vx * wy - vy * wx;
  const double b = vx * wz - vz * wx;
  const double c = vx * ww - vw * wx;
  const double d = vy * wz - vz * wy;
  const double e = vy * ww - vw * wy;
  const double f = vz * ww - vw * wz;
  const float r[4] = {
      static_cast<float>(f * uy - e * uz + d * uw),
      static_cast<float>(-f * ux + c * uz - b * uw),
      static_cast<float>(e * ux - c * uy + a * uw),
      static_cast<float>(-d * ux + b * uy - a * uz),
  };
  Store(out, r);
  return out;
}

KMVECTOR2* KMVec2Hermite(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* t1,
                         const KMVECTOR2* v2, const KMVECTOR2* t2, float s) {
  return Hermite(out, v1, t1, v2, t2, s);
}

KMVECTOR2* KMVec2CatmullRom(KMVECTOR2* out, const KMVECTOR2* v0, const KMVECTOR2* v1,
                            const KMVECTOR2* v2, const KMVECTOR2* v3, float s) {
  return CatmullRom(out, v0, v1, v2, v3, s);
}

KMVECTOR2* KMVec2BaryCentric(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* v2,
                             const KMVECTOR2* v3, float f, float g) {
  return BaryCentric(out, v1, v2, v3, f, g);
}

KMVECTOR3* KMVec3Hermite(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* t1,
                         const KMVECTOR3* v2, const KMVECTOR3* t2, float s) {
  return Hermite(out, v1, t1, v2, t2, s);
}

KMVECTOR3* KMVec3CatmullRom(KMVECTOR3* out, const KMVECTOR3* v0, const KMVECTOR3* v1,
                            const KMVECTOR3* v2, const KMVECTOR3* v3, float s) {
  return CatmullRom(out, v0, v1, v2, v3, s);
}

KMVECTOR3* KMVec3BaryCentric(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                             const KMVECTOR3* v3, float f, float g) {
  return BaryCentric(out, v1, v2, v3, f, g);
}

KMVECTOR4* KMVec4Hermite(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* t1,
                         const KMVECTOR4* v2, const KMVECTOR4* t2, float s) {
  return Hermite(out, v1, t1, v2, t2, s);
}

KMVECTOR4* KMVec4CatmullRom(KMVECTOR4* out, const KMVECTOR4* v0, const KMVECTOR4* v1,
                            const KMVECTOR4* v2, const KMVECTOR4* v3, float s) {
  return CatmullRom(out, v0, v1, v2, v3, s);
}

KMVECTOR4* KMVec4BaryCentric(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                             const KMVECTOR4* v3, float f, float g) {
  return BaryCentric(out, v1, v2, v3, f, g);
}

KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<2, Form::kDirection>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<3, Form::kDirection>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR4* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformArray<4, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

}  // namespace kubik::reference
