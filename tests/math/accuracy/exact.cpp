// Exact results: every operation evaluated on its input floats in extended
// precision, without the roundings of any implementation, its magnitude
// carried alongside (tracked.h). Branches the operation defines (the
// shorter arc, a squared length within 2^-23 of 1 kept as it is, the largest
// diagonal term) are taken as the operation defines them, on exact values.
//
// Every slot has a formula: a slot missing here fails to compile.
#include "tests/math/accuracy/exact.h"

#include <array>
#include <bit>
#include <cfloat>
#include <cstdint>

#include "math/dispatch/operation_table.h"
#include "tests/math/accuracy/pipeline_measure.h"
#include "tests/math/accuracy/tracked.h"

namespace kubik::accuracy {
namespace {

using Values = std::vector<std::vector<float>>;
using Result = std::optional<ExactOutputs>;
using T = Tracked;
using Mat = std::array<T, 16>;  // row-major, row vectors on the left
using Quat = std::array<T, 4>;  // x, y, z, w

// ---- Magnitudes, as the document states them ------------------------------------

constexpr const char* kTermSums =
    "sum of the absolute values of the products summed into each component";
constexpr const char* kCopied = "the value itself (the operation copies or places its inputs)";
constexpr const char* kNormalised =
    "the component's own size (|v_i| / |v|, times 2.5 for the length's square root and "
    "division): each component of a normalised vector is judged on its own";
constexpr const char* kQuotient =
    "sums of absolute terms carried through the division: |numerator terms| / |w| plus "
    "|result| times |w terms| / |w|";
constexpr const char* kTrig =
    "|f'(x)| |x| + |f(x)| for every sine and cosine (an argument good to its last bit moves "
    "the result by that much), carried through the products and sums";
constexpr const char* kComposite =
    "carried through every step of the composite: sums of absolute terms, quotients and the "
    "trigonometric functions' |f'(x)| |x| + |f(x)|";
constexpr const char* kHalf =
    "none: the result is compared bit for bit with the correctly rounded conversion, and the "
    "figure is the distance in units in the last place of the result";

// ---- Helpers ---------------------------------------------------------------------

std::vector<T> Load(const std::vector<float>& v) {
  return std::vector<T>(v.begin(), v.end());
}

Mat LoadMat(const std::vector<float>& m) {
  Mat out;
  for (int i = 0; i < 16; ++i) out[i] = m[i];
  return out;
}

Quat LoadQuat(const std::vector<float>& q, std::size_t at = 0) {
  return {q[at], q[at + 1], q[at + 2], q[at + 3]};
}

void Append(ExactOutputs& out, const T& t) {
  out.push_back({t.value, t.magnitude, true});
}
template <class Container>
void Append(ExactOutputs& out, const Container& values) {
  for (const T& t : values) Append(out, t);
}
template <class Container>
Result Outputs(const Container& values) {
  ExactOutputs out;
  Append(out, values);
  return out;
}

bool NearlyOne(long double x) {
  // The operations' one tolerance: the float value within 2^-23 of 1.
  const float f = static_cast<float>(x);
  return std::fabs(static_cast<double>(f) - 1.0) <= 0x1p-23;
}

Mat Identity() {
  Mat m;
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1 : 0;
  return m;
}

Mat Product(const Mat& a, const Mat& b) {
  Mat out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      T sum = a[r * 4] * b[c];
      for (int k = 1; k < 4; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
      out[r * 4 + c] = sum;
    }
  }
  return out;
}

Mat Transposed(const Mat& m) {
  Mat out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out[r * 4 + c] = m[c * 4 + r];
  }
  return out;
}

Mat Translation(T x, T y, T z) {
  Mat m = Identity();
  m[12] = x, m[13] = y, m[14] = z;
  return m;
}

// (v, [0,] 1) x m for a point, (v, 0..) x m for a direction; all four columns.
std::array<T, 4> TransformRow(const std::vector<T>& v, const Mat& m, bool point) {
  std::array<T, 4> out;
  for (int j = 0; j < 4; ++j) {
    T sum = v[0] * m[j];
    for (std::size_t i = 1; i < v.size(); ++i) sum += v[i] * m[i * 4 + j];
    if (point && v.size() < 4) sum += m[12 + j];
    out[j] = sum;
  }
  return out;
}

// Divided by w unless w is within 2^-23 of 1.
std::vector<T> Coordinates(const std::vector<T>& v, const Mat& m) {
  const std::array<T, 4> p = TransformRow(v, m, true);
  std::vector<T> out(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(v.size()));
  if (!NearlyOne(p[3].value)) {
    for (T& x : out) x = x / p[3];
  }
  return out;
}

// The first `length_of` components set the length; every component is
// scaled. Nothing for a length at or below the smallest normal float.
std::optional<std::vector<T>> Normalized(const std::vector<T>& v, std::size_t length_of) {
  T sum = v[0] * v[0];
  for (std::size_t i = 1; i < length_of; ++i) sum += v[i] * v[i];
  if (NearlyOne(sum.value)) return v;
  if (!(static_cast<float>(sum.value) > FLT_MIN)) return std::nullopt;
  const T length = Sqrt(sum);
  std::vector<T> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = v[i] / length;
  return out;
}

std::optional<Quat> NormalizedPlane(const std::vector<float>& plane) {
  const auto n = Normalized(Load(plane), 3);
  if (!n) return std::nullopt;
  return Quat{(*n)[0], (*n)[1], (*n)[2], (*n)[3]};
}

// a first, then b: the Hamilton product b a.
Quat QuatProduct(const Quat& a, const Quat& b) {
  const T &ax = a[0], &ay = a[1], &az = a[2], &aw = a[3];
  const T &bx = b[0], &by = b[1], &bz = b[2], &bw = b[3];
  return {bw * ax + bx * aw + by * az - bz * ay, bw * ay - bx * az + by * aw + bz * ax,
          bw * az + bx * ay - by * ax + bz * aw, bw * aw - bx * ax - by * ay - bz * az};
}

T Dot4(const Quat& a, const Quat& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

Quat QuatInverse(const Quat& q, bool* defined) {
  const T length_sq = Dot4(q, q);
  *defined = static_cast<float>(length_sq.value) > 1.08420217e-19f;
  if (NearlyOne(length_sq.value)) return {-q[0], -q[1], -q[2], q[3]};
  return {-q[0] / length_sq, -q[1] / length_sq, -q[2] / length_sq, q[3] / length_sq};
}

Quat Slerp(const Quat& a, Quat b, T t) {
  T dot = Dot4(a, b);
  if (dot.value < 0) {
    for (T& x : b) x = -x;
    dot = -dot;
  }
  T k0, k1;
  if (1 - dot.value > 0x1p-23L) {
    const T s = Sqrt(T(1) - dot * dot);
    const T angle = Atan2(s, dot);
    k0 = Sin((T(1) - t) * angle) / s;
    k1 = Sin(t * angle) / s;
  } else {
    k0 = T(1) - t;
    k1 = t;
  }
  Quat out;
  for (int i = 0; i < 4; ++i) out[i] = k0 * a[i] + k1 * b[i];
  return out;
}

// Nothing outside acos's domain: the logarithm of a quaternion with |w| > 1
// is not a rotation's.
std::optional<Quat> QuatLn(const Quat& q) {
  if (!(std::fabs(q[3].value) <= 1)) return std::nullopt;
  if (q[3].value < 1) {
    const T angle = Acos(q[3]);
    const T sine = Sin(angle);
    if (std::fabs(sine.value) > 0x1p-23L) {
      const T k = angle / sine;
      return Quat{k * q[0], k * q[1], k * q[2], T(0)};
    }
  }
  return Quat{q[0], q[1], q[2], T(0)};
}

Quat QuatExp(const Quat& q) {
  const T angle = Sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
  const T sine = Sin(angle), cosine = Cos(angle);
  if (std::fabs(sine.value) <= 0x1p-23L) return {q[0], q[1], q[2], cosine};
  const T k = sine / angle;
  return {k * q[0], k * q[1], k * q[2], cosine};
}

Mat RotationFromQuaternion(const Quat& q) {
  const T &x = q[0], &y = q[1], &z = q[2], &w = q[3];
  const T two = 2;
  Mat m = Identity();
  m[0] = T(1) - two * (y * y + z * z);
  m[1] = two * (x * y + z * w);
  m[2] = two * (x * z - y * w);
  m[4] = two * (x * y - z * w);
  m[5] = T(1) - two * (x * x + z * z);
  m[6] = two * (y * z + x * w);
  m[8] = two * (x * z + y * w);
  m[9] = two * (y * z - x * w);
  m[10] = T(1) - two * (x * x + y * y);
  return m;
}

Mat RotationZ(T angle) {
  const T s = Sin(angle), c = Cos(angle);
  Mat m = Identity();
  m[0] = c, m[1] = s, m[4] = -s, m[5] = c;
  return m;
}

Quat YawPitchRoll(float yaw, float pitch, float roll) {
  const T half = 0.5L;
  const T y = T(yaw) * half, p = T(pitch) * half, r = T(roll) * half;
  const T sy = Sin(y), cy = Cos(y), sp = Sin(p), cp = Cos(p), sr = Sin(r), cr = Cos(r);
  return {cr * cy * sp + sr * sy * cp, cr * sy * cp - sr * cy * sp, sr * cy * cp - cr * sy * sp,
          cr * cy * cp + sr * sy * sp};
}

// The 4x4 inverse by cofactors: nothing for a zero determinant.
std::optional<Mat> Inverse(const Mat& m, T* determinant = nullptr) {
  auto at = [&](int r, int c) { return m[r * 4 + c]; };
  Mat cofactor;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      int rows[3], cols[3];
      for (int i = 0, k = 0; i < 4; ++i) {
        if (i != r) rows[k++] = i;
      }
      for (int j = 0, k = 0; j < 4; ++j) {
        if (j != c) cols[k++] = j;
      }
      auto e = [&](int i, int j) { return at(rows[i], cols[j]); };
      const T det3 = e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
                     e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
                     e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
      cofactor[r * 4 + c] = ((r + c) & 1) ? -det3 : det3;
    }
  }
  T det = at(0, 0) * cofactor[0];
  for (int r = 1; r < 4; ++r) det += at(r, 0) * cofactor[r * 4];
  if (determinant) *determinant = det;
  // No inverse where single precision has none: cofactors or determinant
  // whose terms leave its range, or a determinant whose reciprocal does.
  for (const T& c : cofactor) {
    if (!(c.magnitude <= FLT_MAX)) return std::nullopt;
  }
  const float stored = static_cast<float>(det.value);
  if (!(det.magnitude <= FLT_MAX)) return std::nullopt;
  if (stored == 0 || !std::isfinite(stored) || !std::isfinite(1.0f / stored)) return std::nullopt;
  Mat out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out[r * 4 + c] = cofactor[c * 4 + r] / det;
  }
  return out;
}

T Determinant(const Mat& m) {
  T det;
  Inverse(m, &det);
  return det;
}

// Weighted sums per component: sum_k w_k v_k.
std::vector<T> Weighted(const std::vector<const std::vector<float>*>& points,
                        const std::vector<T>& weights) {
  std::vector<T> out(points[0]->size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    T sum = weights[0] * T((*points[0])[i]);
    for (std::size_t k = 1; k < points.size(); ++k) sum += weights[k] * T((*points[k])[i]);
    out[i] = sum;
  }
  return out;
}

Result Hermite(const Values& p) {
  const T s = p[5][0], s2 = s * s, s3 = s2 * s;
  return Outputs(
      Weighted({&p[1], &p[2], &p[3], &p[4]},
               {T(2) * s3 - T(3) * s2 + T(1), s3 - T(2) * s2 + s, T(3) * s2 - T(2) * s3, s3 - s2}));
}

Result CatmullRom(const Values& p) {
  const T s = p[5][0], s2 = s * s, s3 = s2 * s, half = 0.5L;
  return Outputs(Weighted({&p[1], &p[2], &p[3], &p[4]},
                          {half * (T(2) * s2 - s3 - s), half * (T(3) * s3 - T(5) * s2 + T(2)),
                           half * (T(4) * s2 - T(3) * s3 + s), half * (s3 - s2)}));
}

Result BaryCentric(const Values& p) {
  const T f = p[4][0], g = p[5][0];
  std::vector<T> out(p[1].size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    const T base = p[1][i];
    out[i] = base + (f * (T(p[2][i]) - base) + g * (T(p[3][i]) - base));
  }
  return Outputs(out);
}

enum class Form { kPoint, kCoord, kDirection };

// Strided arrays: (out, out stride, in, in stride, matrix, count), strides
// in floats; padding between elements is not a result.
template <Form F, int kIn, int kOut>
Result TransformArray(const Values& p) {
  const auto out_stride = static_cast<std::size_t>(p[1][0]);
  const auto in_stride = static_cast<std::size_t>(p[3][0]);
  const auto count = static_cast<std::size_t>(p[5][0]);
  const Mat m = LoadMat(p[4]);
  ExactOutputs out(count ? (count - 1) * out_stride + kOut : 1, Exact{0, 0, false});
  for (std::size_t e = 0; e < count; ++e) {
    std::vector<T> v(kIn);
    for (int i = 0; i < kIn; ++i) v[i] = p[2][e * in_stride + i];
    std::vector<T> r;
    if constexpr (F == Form::kCoord) {
      r = Coordinates(v, m);
    } else {
      const std::array<T, 4> row = TransformRow(v, m, F == Form::kPoint);
      r.assign(row.begin(), row.begin() + kOut);
    }
    for (int i = 0; i < kOut; ++i) out[e * out_stride + i] = {r[i].value, r[i].magnitude, true};
  }
  return out;
}

// world x view x projection, the null ones left out.
Mat Combined(const std::vector<const std::vector<float>*>& matrices) {
  Mat m = Identity();
  bool any = false;
  for (const std::vector<float>* matrix : matrices) {
    if (!matrix || matrix->empty()) continue;
    m = any ? Product(m, LoadMat(*matrix)) : LoadMat(*matrix);
    any = true;
  }
  return m;
}

struct Viewport {
  long double x, y, width, height, min_z, max_z;
};

// A viewport held as six floats: the integer fields by their bits (a record
// passed through memory) or by their values (the arrays' cases).
Viewport ViewportOf(const std::vector<float>& v, bool by_bits) {
  auto field = [&](int i) -> long double {
    return by_bits ? std::bit_cast<std::uint32_t>(v[i]) : static_cast<std::uint32_t>(v[i]);
  };
  return {field(0), field(1), field(2), field(3), v[4], v[5]};
}

std::vector<T> Project(const std::vector<T>& point, const Mat& m, const Viewport* viewport) {
  std::vector<T> p = Coordinates(point, m);
  if (viewport) {
    const T half = 0.5L;
    p[0] = T(viewport->x) + (T(1) + p[0]) * T(viewport->width) * half;
    p[1] = T(viewport->y) + (T(1) - p[1]) * T(viewport->height) * half;
    p[2] = T(viewport->min_z) + p[2] * (T(viewport->max_z) - T(viewport->min_z));
  }
  return p;
}

std::optional<std::vector<T>> Unproject(std::vector<T> point, const Mat& inverse,
                                        const Viewport* viewport) {
  if (viewport) {
    point[0] = (point[0] - T(viewport->x)) / T(viewport->width) * T(2) - T(1);
    point[1] = -((point[1] - T(viewport->y)) / T(viewport->height) * T(2) - T(1));
    point[2] = (point[2] - T(viewport->min_z)) / (T(viewport->max_z) - T(viewport->min_z));
  }
  return Coordinates(point, inverse);
}

// Projection arrays: (in, viewport, projection, view, world), tightly packed.
template <bool kForward>
Result ProjectionArray(const Values& p) {
  const Viewport viewport = ViewportOf(p[1], false);
  Mat m = Combined({&p[4], &p[3], &p[2]});
  if constexpr (!kForward) {
    const auto inverse = Inverse(m);
    if (!inverse) return std::nullopt;
    m = *inverse;
  }
  ExactOutputs out;
  for (std::size_t e = 0; e + 3 <= p[0].size(); e += 3) {
    const std::vector<T> v{p[0][e], p[0][e + 1], p[0][e + 2]};
    const auto r = kForward ? std::optional(Project(v, m, &viewport)) : Unproject(v, m, &viewport);
    Append(out, *r);
  }
  return out;
}

}  // namespace

// ---- One formula per slot ------------------------------------------------------

template <Slot S>
struct Formula;

#define KUBIK_EXACT(name, magnitude)                     \
  template <>                                            \
  struct Formula<Slot::name> {                           \
    static constexpr const char* kMagnitude = magnitude; \
    static Result Of(const Values& p);                   \
  };                                                     \
  Result Formula<Slot::name>::Of([[maybe_unused]] const Values& p)

KUBIK_EXACT(KMVec2Transform, kTermSums) {
  return Outputs(TransformRow(Load(p[1]), LoadMat(p[2]), true));
}
KUBIK_EXACT(KMVec3Transform, kTermSums) {
  return Outputs(TransformRow(Load(p[1]), LoadMat(p[2]), true));
}
KUBIK_EXACT(KMVec4Transform, kTermSums) {
  return Outputs(TransformRow(Load(p[1]), LoadMat(p[2]), true));
}
KUBIK_EXACT(KMMatrixMultiply, kTermSums) {
  return Outputs(Product(LoadMat(p[1]), LoadMat(p[2])));
}
KUBIK_EXACT(KMMatrixMultiplyTranspose, kTermSums) {
  return Outputs(Transposed(Product(LoadMat(p[1]), LoadMat(p[2]))));
}
KUBIK_EXACT(KMVec2TransformNormal, kTermSums) {
  const auto r = TransformRow(Load(p[1]), LoadMat(p[2]), false);
  return Outputs(std::vector<T>(r.begin(), r.begin() + 2));
}
KUBIK_EXACT(KMVec3TransformNormal, kTermSums) {
  const auto r = TransformRow(Load(p[1]), LoadMat(p[2]), false);
  return Outputs(std::vector<T>(r.begin(), r.begin() + 3));
}
KUBIK_EXACT(KMVec3Normalize, kNormalised) {
  const auto r = Normalized(Load(p[1]), 3);
  return r ? Outputs(*r) : std::nullopt;
}
KUBIK_EXACT(KMVec4Normalize, kNormalised) {
  const auto r = Normalized(Load(p[1]), 4);
  return r ? Outputs(*r) : std::nullopt;
}
KUBIK_EXACT(KMVec2TransformCoord, kQuotient) {
  return Outputs(Coordinates(Load(p[1]), LoadMat(p[2])));
}
KUBIK_EXACT(KMVec3TransformCoord, kQuotient) {
  return Outputs(Coordinates(Load(p[1]), LoadMat(p[2])));
}
KUBIK_EXACT(KMMatrixDeterminant, "sum of the absolute values of the 24 products of the expansion") {
  return Outputs(std::array<T, 1>{Determinant(LoadMat(p[0]))});
}
KUBIK_EXACT(KMPlaneFromPointNormal, kTermSums) {
  const std::vector<T> point = Load(p[1]), n = Load(p[2]);
  return Outputs(
      std::array<T, 4>{n[0], n[1], n[2], -(point[0] * n[0] + point[1] * n[1] + point[2] * n[2])});
}
KUBIK_EXACT(KMPlaneFromPoints,
            "the cross product's sums of absolute terms carried through the normalisation; d "
            "sums |n_i V1_i| with each n_i's magnitude") {
  const std::vector<T> a = Load(p[1]), b = Load(p[2]), c = Load(p[3]);
  std::vector<T> e(3), f(3);
  for (int i = 0; i < 3; ++i) e[i] = a[i] - b[i], f[i] = a[i] - c[i];
  const std::vector<T> n{e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2],
                         e[0] * f[1] - e[1] * f[0]};
  const auto unit = Normalized(n, 3);
  if (!unit) return std::nullopt;
  const std::vector<T>& u = *unit;
  return Outputs(std::array<T, 4>{u[0], u[1], u[2], -(u[0] * a[0] + u[1] * a[1] + u[2] * a[2])});
}
KUBIK_EXACT(KMVec3Project, kComposite) {
  const Viewport viewport = ViewportOf(p[2], true);
  return Outputs(Project(Load(p[1]), Combined({&p[5], &p[4], &p[3]}), &viewport));
}
KUBIK_EXACT(KMVec3Unproject, kComposite) {
  const Viewport viewport = ViewportOf(p[2], true);
  const auto inverse = Inverse(Combined({&p[5], &p[4], &p[3]}));
  if (!inverse) return std::nullopt;
  return Outputs(*Unproject(Load(p[1]), *inverse, &viewport));
}
KUBIK_EXACT(KMVec4Cross, kTermSums) {
  const std::vector<T> u = Load(p[1]), v = Load(p[2]), w = Load(p[3]);
  auto minor = [&](int i, int j) { return v[i] * w[j] - v[j] * w[i]; };
  const T a = minor(0, 1), b = minor(0, 2), c = minor(0, 3), d = minor(1, 2), e = minor(1, 3),
          f = minor(2, 3);
  return Outputs(std::array<T, 4>{f * u[1] - e * u[2] + d * u[3], -f * u[0] + c * u[2] - b * u[3],
                                  e * u[0] - c * u[1] + a * u[3], -d * u[0] + b * u[1] - a * u[2]});
}
KUBIK_EXACT(KMVec2Hermite, kTermSums) {
  return Hermite(p);
}
KUBIK_EXACT(KMMatrixInverse,
            "cofactor and determinant sums of absolute terms carried through the division") {
  T det;
  const auto inverse = Inverse(LoadMat(p[2]), &det);
  if (!inverse) return std::nullopt;
  ExactOutputs out;
  Append(out, *inverse);
  Append(out, det);
  return out;
}
KUBIK_EXACT(KMQuaternionMultiply, kTermSums) {
  return Outputs(QuatProduct(LoadQuat(p[1]), LoadQuat(p[2])));
}
KUBIK_EXACT(KMQuaternionNormalize, kNormalised) {
  const auto r = Normalized(Load(p[1]), 4);
  return r ? Outputs(*r) : std::nullopt;
}
KUBIK_EXACT(KMPlaneNormalize, kNormalised) {
  const auto r = Normalized(Load(p[1]), 3);
  return r ? Outputs(*r) : std::nullopt;
}
KUBIK_EXACT(KMPlaneIntersectLine, kQuotient) {
  const std::vector<T> plane = Load(p[1]), a = Load(p[2]), b = Load(p[3]);
  const T p1 = plane[0] * a[0] + plane[1] * a[1] + plane[2] * a[2];
  const T p2 = plane[0] * b[0] + plane[1] * b[1] + plane[2] * b[2];
  const T den = p1 - p2;
  if (den.value == 0) return std::nullopt;
  const T t = (p1 + plane[3]) / den;
  if (!std::isfinite(static_cast<float>(t.value))) return std::nullopt;
  std::vector<T> out(3);
  for (int i = 0; i < 3; ++i) out[i] = (b[i] - a[i]) * t + a[i];
  return Outputs(out);
}
KUBIK_EXACT(KMQuaternionToAxisAngle, "the axis is copied; the angle |acos'(w)| |w| + |angle|") {
  const Quat q = LoadQuat(p[0]);
  return Outputs(std::array<T, 4>{q[0], q[1], q[2], T(2) * Acos(q[3])});
}
KUBIK_EXACT(KMQuaternionRotationMatrix,
            "sums of the diagonal terms through the square root and the division") {
  const Mat m = LoadMat(p[1]);
  auto at = [&](int r, int c) { return m[r * 4 + c]; };
  const T trace = at(0, 0) + at(1, 1) + at(2, 2);
  if (trace.value > 0) {
    const T w = T(0.5L) * Sqrt(trace + T(1));
    const T f = T(0.25L) / w;
    return Outputs(std::array<T, 4>{(at(1, 2) - at(2, 1)) * f, (at(2, 0) - at(0, 2)) * f,
                                    (at(0, 1) - at(1, 0)) * f, w});
  }
  const T d[3] = {at(0, 0) - at(1, 1) - at(2, 2), at(1, 1) - at(0, 0) - at(2, 2),
                  at(2, 2) - (at(0, 0) + at(1, 1))};
  static constexpr int kNext[3] = {1, 2, 0};
  int i = d[0].value < d[1].value ? 1 : 0;
  if (d[i].value < d[2].value) i = 2;
  const int j = kNext[i], k = kNext[j];
  const T s = T(0.5L) * Sqrt(d[i] + T(1));
  const T f = T(0.25L) / s;
  std::array<T, 4> q;
  q[i] = s;
  q[j] = (at(i, j) + at(j, i)) * f;
  q[k] = (at(i, k) + at(k, i)) * f;
  q[3] = (at(j, k) - at(k, j)) * f;
  return Outputs(q);
}
KUBIK_EXACT(KMQuaternionRotationYawPitchRoll, kTrig) {
  return Outputs(YawPitchRoll(p[1][0], p[2][0], p[3][0]));
}
KUBIK_EXACT(KMMatrixTranslation, kCopied) {
  return Outputs(Translation(p[1][0], p[2][0], p[3][0]));
}
KUBIK_EXACT(KMMatrixShadow, "the plane's normalisation carried through the products") {
  const auto plane = NormalizedPlane(p[2]);
  if (!plane) return std::nullopt;
  const Quat light = LoadQuat(p[1]);
  const T d = Dot4(*plane, light);
  Mat out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const T product = (*plane)[r] * light[c];
      out[r * 4 + c] = r == c ? d - product : -product;
    }
  }
  return Outputs(out);
}
KUBIK_EXACT(KMMatrixReflect, "the plane's normalisation carried through the products") {
  const auto plane = NormalizedPlane(p[1]);
  if (!plane) return std::nullopt;
  const Quat& q = *plane;
  Mat out = Identity();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      const T product = T(-2) * q[c] * q[r];
      out[r * 4 + c] = r == c ? product + T(1) : product;
    }
  }
  return Outputs(out);
}
KUBIK_EXACT(KMQuaternionRotationAxis, kTrig) {
  const auto axis = Normalized(Load(p[1]), 3);
  if (!axis) return std::nullopt;
  const T half = T(p[2][0]) * T(0.5L);
  const T s = Sin(half);
  return Outputs(std::array<T, 4>{(*axis)[0] * s, (*axis)[1] * s, (*axis)[2] * s, Cos(half)});
}
KUBIK_EXACT(KMMatrixRotationX, kTrig) {
  const T s = Sin(T(p[1][0])), c = Cos(T(p[1][0]));
  Mat m = Identity();
  m[5] = c, m[6] = s, m[9] = -s, m[10] = c;
  return Outputs(m);
}
KUBIK_EXACT(KMMatrixRotationY, kTrig) {
  const T s = Sin(T(p[1][0])), c = Cos(T(p[1][0]));
  Mat m = Identity();
  m[0] = c, m[2] = -s, m[8] = s, m[10] = c;
  return Outputs(m);
}
KUBIK_EXACT(KMMatrixRotationZ, kTrig) {
  return Outputs(RotationZ(T(p[1][0])));
}
KUBIK_EXACT(KMMatrixScaling, kCopied) {
  Mat m = Identity();
  m[0] = p[1][0], m[5] = p[2][0], m[10] = p[3][0];
  return Outputs(m);
}
KUBIK_EXACT(KMPlaneTransform, kTermSums) {
  return Outputs(TransformRow(Load(p[1]), LoadMat(p[2]), false));
}
KUBIK_EXACT(KMQuaternionSlerp, kComposite) {
  return Outputs(Slerp(LoadQuat(p[1]), LoadQuat(p[2]), T(p[3][0])));
}
KUBIK_EXACT(KMQuaternionBaryCentric, kComposite) {
  const Quat q1 = LoadQuat(p[1]), q2 = LoadQuat(p[2]), q3 = LoadQuat(p[3]);
  const T f = p[4][0], g = p[5][0], s = f + g;
  if (std::fabs(s.value) <= 0x1p-23L) return Outputs(q1);
  return Outputs(Slerp(Slerp(q1, q2, s), Slerp(q1, q3, s), g / s));
}
KUBIK_EXACT(KMMatrixTranspose, kCopied) {
  return Outputs(Transposed(LoadMat(p[1])));
}
KUBIK_EXACT(KMMatrixRotationQuaternion, kTermSums) {
  return Outputs(RotationFromQuaternion(LoadQuat(p[1])));
}
KUBIK_EXACT(KMMatrixTransformation, kComposite) {
  // T(-sc) Rs^T S Rs T(sc) T(-rc) R T(rc) T(t), every factor present in the
  // measured cases.
  const std::vector<T> sc = Load(p[1]), s = Load(p[3]), rc = Load(p[4]), t = Load(p[6]);
  const Mat rs = RotationFromQuaternion(LoadQuat(p[2]));
  Mat scaling = Identity();
  scaling[0] = s[0], scaling[5] = s[1], scaling[10] = s[2];
  Mat m = Product(Product(Translation(-sc[0], -sc[1], -sc[2]), Transposed(rs)), scaling);
  m = Product(m, rs);
  m[12] += sc[0], m[13] += sc[1], m[14] += sc[2];
  m[12] -= rc[0], m[13] -= rc[1], m[14] -= rc[2];
  m = Product(m, RotationFromQuaternion(LoadQuat(p[5])));
  m[12] += rc[0] + t[0], m[13] += rc[1] + t[1], m[14] += rc[2] + t[2];
  return Outputs(m);
}
KUBIK_EXACT(KMMatrixRotationYawPitchRoll, kTrig) {
  return Outputs(RotationFromQuaternion(YawPitchRoll(p[1][0], p[2][0], p[3][0])));
}
KUBIK_EXACT(KMMatrixAffineTransformation, kComposite) {
  const T scaling = p[1][0];
  const std::vector<T> rc = Load(p[2]), t = Load(p[4]);
  Mat m = Identity();
  m[0] = scaling, m[5] = scaling, m[10] = scaling;
  m[12] = -rc[0], m[13] = -rc[1], m[14] = -rc[2];
  m = Product(m, RotationFromQuaternion(LoadQuat(p[3])));
  m[12] += rc[0] + t[0], m[13] += rc[1] + t[1], m[14] += rc[2] + t[2];
  return Outputs(m);
}
KUBIK_EXACT(KMMatrixRotationAxis, kTrig) {
  const auto axis = Normalized(Load(p[1]), 3);
  if (!axis) return std::nullopt;
  const T angle = p[2][0];
  const T c = Cos(angle), s = Sin(angle), t = T(1) - c;
  const T &x = (*axis)[0], &y = (*axis)[1], &z = (*axis)[2];
  Mat m = Identity();
  m[0] = t * x * x + c, m[1] = t * x * y + s * z, m[2] = t * x * z - s * y;
  m[4] = t * x * y - s * z, m[5] = t * y * y + c, m[6] = t * y * z + s * x;
  m[8] = t * x * z + s * y, m[9] = t * y * z - s * x, m[10] = t * z * z + c;
  return Outputs(m);
}
KUBIK_EXACT(KMQuaternionSquad, kComposite) {
  const T t = p[5][0];
  const Quat outer = Slerp(LoadQuat(p[1]), LoadQuat(p[4]), t);
  const Quat inner = Slerp(LoadQuat(p[2]), LoadQuat(p[3]), t);
  return Outputs(Slerp(outer, inner, T(2) * t * (T(1) - t)));
}
KUBIK_EXACT(KMQuaternionInverse, "the conjugate's components through the squared length") {
  bool defined = true;
  const Quat inverse = QuatInverse(LoadQuat(p[1]), &defined);
  if (!defined) return std::nullopt;
  return Outputs(inverse);
}
KUBIK_EXACT(KMQuaternionSquadSetup, kComposite) {
  Quat q[4];
  for (int i = 0; i < 4; ++i) q[i] = LoadQuat(p[3 + static_cast<std::size_t>(i)]);
  // Each neighbour onto the previous one's hemisphere (ties keep the sign).
  auto flip_towards = [](const Quat& from, Quat& to) {
    long double apart = 0, together = 0;
    for (int i = 0; i < 4; ++i) {
      apart += (from[i].value - to[i].value) * (from[i].value - to[i].value);
      together += (from[i].value + to[i].value) * (from[i].value + to[i].value);
    }
    if (apart > together) {
      for (T& x : to) x = -x;
    }
  };
  Quat p0 = q[0], p1 = q[1], p2 = q[2], p3 = q[3];
  flip_towards(p1, p0);
  flip_towards(p1, p2);
  flip_towards(p2, p3);
  bool defined = true;
  auto control = [&](const Quat& prev, const Quat& centre, const Quat& next) {
    bool ok = true;
    const Quat inverse = QuatInverse(centre, &ok);
    defined = defined && ok;
    const auto a = QuatLn(QuatProduct(inverse, prev)), b = QuatLn(QuatProduct(inverse, next));
    defined = defined && a && b;
    if (!a || !b) return centre;
    Quat sum;
    for (int i = 0; i < 4; ++i) sum[i] = T(-0.25L) * ((*a)[i] + (*b)[i]);
    return QuatProduct(centre, QuatExp(sum));
  };
  ExactOutputs out;
  Append(out, control(p0, p1, p2));
  Append(out, control(p1, p2, p3));
  Append(out, p2);
  if (!defined) return std::nullopt;
  return out;
}
KUBIK_EXACT(KMVec2Normalize, kNormalised) {
  const auto r = Normalized(Load(p[1]), 2);
  return r ? Outputs(*r) : std::nullopt;
}
KUBIK_EXACT(KMVec2CatmullRom, kTermSums) {
  return CatmullRom(p);
}
KUBIK_EXACT(KMVec2BaryCentric, kTermSums) {
  return BaryCentric(p);
}
KUBIK_EXACT(KMVec3Hermite, kTermSums) {
  return Hermite(p);
}
KUBIK_EXACT(KMVec3CatmullRom, kTermSums) {
  return CatmullRom(p);
}
KUBIK_EXACT(KMVec3BaryCentric, kTermSums) {
  return BaryCentric(p);
}
KUBIK_EXACT(KMVec4Hermite, kTermSums) {
  return Hermite(p);
}
KUBIK_EXACT(KMVec4CatmullRom, kTermSums) {
  return CatmullRom(p);
}
KUBIK_EXACT(KMVec4BaryCentric, kTermSums) {
  return BaryCentric(p);
}
KUBIK_EXACT(KMQuaternionLn, kComposite) {
  const auto ln = QuatLn(LoadQuat(p[1]));
  return ln ? Outputs(*ln) : std::nullopt;
}
KUBIK_EXACT(KMQuaternionExp, kComposite) {
  return Outputs(QuatExp(LoadQuat(p[1])));
}
KUBIK_EXACT(KMFloat32To16Array, kHalf) {
  // The conversion is exact by definition (and tested exhaustively against
  // the definition): the reference's bits are the result.
  ExactOutputs out;
  for (float x : p[1]) {
    KMFLOAT16 h;
    ReferenceTable().Get<Slot::KMFloat32To16Array>()(&h, &x, 1);
    // Bit patterns held as numbers: the magnitude makes one step one unit.
    out.push_back({static_cast<long double>(h.value), 0x1p24L, true});
  }
  if (out.empty()) out.push_back({0, 0, false});
  return out;
}
KUBIK_EXACT(KMFloat16To32Array, kHalf) {
  ExactOutputs out;
  for (float bits : p[1]) {
    const KMFLOAT16 h{static_cast<std::uint16_t>(bits)};
    float x;
    ReferenceTable().Get<Slot::KMFloat16To32Array>()(&x, &h, 1);
    out.push_back({x, 0, true});
  }
  if (out.empty()) out.push_back({0, 0, false});
  return out;
}
KUBIK_EXACT(KMVec2TransformArray, kTermSums) {
  return TransformArray<Form::kPoint, 2, 4>(p);
}
KUBIK_EXACT(KMVec2TransformCoordArray, kQuotient) {
  return TransformArray<Form::kCoord, 2, 2>(p);
}
KUBIK_EXACT(KMVec2TransformNormalArray, kTermSums) {
  return TransformArray<Form::kDirection, 2, 2>(p);
}
KUBIK_EXACT(KMVec3TransformArray, kTermSums) {
  return TransformArray<Form::kPoint, 3, 4>(p);
}
KUBIK_EXACT(KMVec3TransformCoordArray, kQuotient) {
  return TransformArray<Form::kCoord, 3, 3>(p);
}
KUBIK_EXACT(KMVec3TransformNormalArray, kTermSums) {
  return TransformArray<Form::kDirection, 3, 3>(p);
}
KUBIK_EXACT(KMVec4TransformArray, kTermSums) {
  return TransformArray<Form::kPoint, 4, 4>(p);
}
KUBIK_EXACT(KMVec3ProjectArray, kComposite) {
  return ProjectionArray<true>(p);
}
KUBIK_EXACT(KMVec3UnprojectArray, kComposite) {
  return ProjectionArray<false>(p);
}
KUBIK_EXACT(KMPlaneTransformArray, kTermSums) {
  return TransformArray<Form::kDirection, 4, 4>(p);
}
KUBIK_EXACT(SkinnedMeshBlend,
            "per vertex, the sum over its influences of |weight| times each transformed "
            "component's magnitude (a quotient by w for positions)") {
  return ExactSkinning(p);
}
KUBIK_EXACT(NPatchTessellate,
            "the Bezier sum of |basis weight| times each control point's magnitude; the control "
            "points' own sums of absolute terms") {
  return ExactTessellation(p);
}
KUBIK_EXACT(KMMatrixTransformation2D, kComposite) {
  const std::vector<T> sc = Load(p[1]), s = Load(p[3]), rc = Load(p[4]), t = Load(p[6]);
  const Mat rs = RotationZ(T(p[2][0]));
  Mat scaling = Identity();
  scaling[0] = s[0], scaling[5] = s[1];
  Mat m;
  if (p[2][0] != 0.0f) {
    m = Product(Product(Translation(-sc[0], -sc[1], T(0)), Transposed(rs)), scaling);
    m = Product(m, rs);
    m[12] += sc[0], m[13] += sc[1];
  } else {
    m = scaling;
    m[12] = (T(1) - s[0]) * sc[0], m[13] = (T(1) - s[1]) * sc[1];
  }
  if (p[5][0] != 0.0f) {
    m[12] -= rc[0], m[13] -= rc[1];
    m = Product(m, RotationZ(T(p[5][0])));
    m[12] += rc[0], m[13] += rc[1];
  }
  m[12] += t[0], m[13] += t[1];
  return Outputs(m);
}
KUBIK_EXACT(KMMatrixAffineTransformation2D, kComposite) {
  const T scaling = p[1][0];
  const std::vector<T> rc = Load(p[2]), t = Load(p[4]);
  Mat m = Identity();
  m[0] = scaling, m[5] = scaling;
  if (p[3][0] != 0.0f) {
    m[12] = -rc[0], m[13] = -rc[1];
    m = Product(m, RotationZ(T(p[3][0])));
    m[12] += rc[0], m[13] += rc[1];
  }
  m[12] += t[0], m[13] += t[1];
  return Outputs(m);
}

#undef KUBIK_EXACT

std::optional<ExactOutputs> ExactOf(unsigned slot, const conformance::Case& c) {
  switch (slot) {
#define KUBIK_EXACT_CASE(slot, name, result, params, args) \
  case slot:                                               \
    return Formula<Slot::name>::Of(c.values);
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_EXACT_CASE)
#undef KUBIK_EXACT_CASE
    default:
      return std::nullopt;
  }
}

const char* MagnitudeOf(unsigned slot) {
  switch (slot) {
#define KUBIK_MAGNITUDE_CASE(slot, name, result, params, args) \
  case slot:                                                   \
    return Formula<Slot::name>::kMagnitude;
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_MAGNITUDE_CASE)
#undef KUBIK_MAGNITUDE_CASE
    default:
      return "";
  }
}

}  // namespace kubik::accuracy
