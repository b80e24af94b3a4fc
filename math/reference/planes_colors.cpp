// Reference plane, colour and Fresnel operations: working precision is
// double, each stored component is rounded to float once.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/reference/reference.h"
#include "math/types/float_compare.h"

namespace kubik::reference {
namespace {

// The plane as a row 4-vector times m; all four inputs are read first, so
// out may be the input.
void TransformPlane(KMPLANE* out, const KMPLANE& p, const KMMATRIX& m) {
  const double in[4] = {p.a, p.b, p.c, p.d};
  double r[4];
  for (int j = 0; j < 4; ++j) {
    r[j] = in[0] * m.m[0][j] + in[1] * m.m[1][j] + in[2] * m.m[2][j] + in[3] * m.m[3][j];
  }
  *out = KMPLANE(static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2]),
                 static_cast<float>(r[3]));
}

}  // namespace

KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane) {
  const float a = plane->a, b = plane->b, c = plane->c, d = plane->d;
  // Only the normal decides the scale; d follows it.
  const float length_sq = static_cast<float>(
      static_cast<double>(a) * a + static_cast<double>(b) * b + static_cast<double>(c) * c);
  if (FloatNearlyEqual(length_sq, 1.0f)) {
    *out = KMPLANE(a, b, c, d);
  } else if (length_sq > FLT_MIN) {
    const double k = 1.0 / std::sqrt(static_cast<double>(length_sq));
    *out = KMPLANE(static_cast<float>(k * a), static_cast<float>(k * b), static_cast<float>(k * c),
                   static_cast<float>(k * d));
  } else {
    // Tiny, zero or NaN normal.
    *out = KMPLANE(0.0f, 0.0f, 0.0f, 0.0f);
  }
  return out;
}

KMVECTOR3* KMPlaneIntersectLine(KMVECTOR3* out, const KMPLANE* plane, const KMVECTOR3* v1,
                                const KMVECTOR3* v2) {
  const double a = plane->a, b = plane->b, c = plane->c, d = plane->d;
  const double x1 = v1->x, y1 = v1->y, z1 = v1->z;
  const double x2 = v2->x, y2 = v2->y, z2 = v2->z;
  const double p1 = a * x1 + b * y1 + c * z1;
  const double p2 = a * x2 + c * z2 + b * y2;
  const double den = p1 - p2;
  // Parallel line or coincident points; deliberately no tolerance.
  if (den == 0.0) return nullptr;
  const float t = static_cast<float>((p1 + d) / den);
  if (!std::isfinite(t)) return nullptr;
  // The line is unbounded: t may lie outside [0, 1].
  out->x = static_cast<float>((x2 - x1) * t + x1);
  out->y = static_cast<float>((y2 - y1) * t + y1);
  out->z = static_cast<float>((z2 - z1) * t + z1);
  return out;
}

KMPLANE* KMPlaneFromPointNormal(KMPLANE* out, const KMVECTOR3* point, const KMVECTOR3* normal) {
  const float nx = normal->x, ny = normal->y, nz = normal->z;
  const double d = -(static_cast<double>(point->y) * ny + static_cast<double>(point->z) * nz +
                     static_cast<double>(point->x) * nx);
  // The normal is kept as given, not normalised.
  *out = KMPLANE(nx, ny, nz, static_cast<float>(d));
  return out;
}

KMPLANE* KMPlaneFromPoints(KMPLANE* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                           const KMVECTOR3* v3) {
  const double x1 = v1->x, y1 = v1->y, z1 = v1->z;
  const double x2 = v2->x, y2 = v2->y, z2 = v2->z;
  const double x3 = v3->x, y3 = v3->y, z3 = v3->z;
  // (V1 - V2) x (V1 - V3), the same vector as (V2 - V1) x (V3 - V1).
  KMVECTOR3 n(static_cast<float>((y1 - y2) * (z1 - z3) - (z1 - z2) * (y1 - y3)),
              static_cast<float>((z1 - z2) * (x1 - x3) - (z1 - z3) * (x1 - x2)),
              static_cast<float>((y1 - y3) * (x1 - x2) - (x1 - x3) * (y1 - y2)));
  // Through the public entry, so the installed normaliser does the work.
  ::KMVec3Normalize(&n, &n);
  const double d = -(static_cast<double>(n.z) * z1 + static_cast<double>(n.y) * y1 +
                     static_cast<double>(n.x) * x1);
  *out = KMPLANE(n.x, n.y, n.z, static_cast<float>(d));
  return out;
}

KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m) {
  TransformPlane(out, *plane, *m);
  return out;
}

KMPLANE* KMPlaneTransformArray(KMPLANE* out, std::uint32_t out_stride, const KMPLANE* plane,
                               std::uint32_t plane_stride, const KMMATRIX* m, std::uint32_t n) {
  // Planes in interleaved data may sit at any byte offset: moved with memcpy.
  auto* out_bytes = reinterpret_cast<unsigned char*>(out);
  const auto* in_bytes = reinterpret_cast<const unsigned char*>(plane);
  for (std::uint32_t i = 0; i < n; ++i) {
    KMPLANE in;
    KMPLANE result;
    std::memcpy(&in, in_bytes + std::size_t{i} * plane_stride, sizeof in);
    TransformPlane(&result, in, *m);
    std::memcpy(out_bytes + std::size_t{i} * out_stride, &result, sizeof result);
  }
  return out;
}

}  // namespace kubik::reference

// ---- Colour and lighting: plain entries, the same on every processor -------

extern "C" {

KMCOLOR* KMColorAdjustSaturation(KMCOLOR* out, const KMCOLOR* color, float s) {
  constexpr float kRed = 0.2125f, kGreen = 0.7154f, kBlue = 0.0721f;
  const double r = color->r, g = color->g, b = color->b;
  const float alpha = color->a;
  const double grey = r * kRed + b * kBlue + g * kGreen;
  // No clamping: s > 1 oversaturates, s < 0 inverts the hue around grey.
  out->r = static_cast<float>((r - grey) * s + grey);
  out->g = static_cast<float>((g - grey) * s + grey);
  out->b = static_cast<float>((b - grey) * s + grey);
  out->a = alpha;
  return out;
}

KMCOLOR* KMColorAdjustContrast(KMCOLOR* out, const KMCOLOR* color, float c) {
  const double r = color->r, g = color->g, b = color->b;
  const float alpha = color->a;
  out->r = static_cast<float>((r - 0.5) * c + 0.5);
  out->g = static_cast<float>((g - 0.5) * c + 0.5);
  out->b = static_cast<float>((b - 0.5) * c + 0.5);
  out->a = alpha;
  return out;
}

float KMFresnelTerm(float cos_theta, float refraction_index) {
  // At or below zero (and below the smallest normal float) the surface is
  // seen edge-on: full reflection. A NaN goes on and comes out as NaN.
  if (cos_theta < FLT_MIN) return 1.0f;
  const double c = cos_theta, n = refraction_index;
  const double one_minus_c2 = 1.0 - c * c;
  // The absolute value keeps the root real under total internal reflection.
  const float q = static_cast<float>(std::fabs(n * n - one_minus_c2));
  const double k = c * std::sqrt(static_cast<double>(q));
  const float sum = static_cast<float>(q + c * c);
  const float twice_k = static_cast<float>(2.0 * k);
  const double ratio = (k - one_minus_c2) / (k + one_minus_c2);
  const double f = 0.5 * (static_cast<double>(sum) - twice_k) /
                   (static_cast<double>(sum) + twice_k) * (1.0 + ratio * ratio);
  if (f > 1.0) return 1.0f;
  if (f < 0.0) return 0.0f;
  return static_cast<float>(f);
}

}  // extern "C"
