/* Kubik math library: records and public operations.
 *
 * Every record is a run of consecutive 32-bit floats passed by pointer.
 * Matrices are row-major; points are row vectors multiplied on the left
 * (v x M), so the translation sits in the fourth row. Operations take the
 * output first and return it, so calls nest. The public operations have C
 * linkage; the record types carry small C++ conveniences under __cplusplus. */
#ifndef KUBIK_KMATH_H
#define KUBIK_KMATH_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Records --------------------------------------------------------- */

typedef struct KMVECTOR2 {
  float x, y;
#ifdef __cplusplus
  KMVECTOR2() = default;
  KMVECTOR2(float x_, float y_) : x(x_), y(y_) {}
  operator float*() { return &x; }
  operator const float*() const { return &x; }
  /* One reciprocal, then products; f = 0 is not caught. */
  KMVECTOR2& operator/=(float f) {
    const float r = 1.0f / f;
    x *= r;
    y *= r;
    return *this;
  }
  KMVECTOR2 operator/(float f) const {
    const float r = 1.0f / f;
    return KMVECTOR2(x * r, y * r);
  }
#endif
} KMVECTOR2;

typedef struct KMVECTOR3 {
  float x, y, z;
#ifdef __cplusplus
  KMVECTOR3() = default;
  KMVECTOR3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  operator float*() { return &x; }
  operator const float*() const { return &x; }
  KMVECTOR3 operator-(const KMVECTOR3& v) const { return KMVECTOR3(x - v.x, y - v.y, z - v.z); }
  /* One reciprocal, then products; f = 0 is not caught. */
  KMVECTOR3& operator/=(float f) {
    const float r = 1.0f / f;
    x *= r;
    y *= r;
    z *= r;
    return *this;
  }
  KMVECTOR3 operator/(float f) const {
    const float r = 1.0f / f;
    return KMVECTOR3(x * r, y * r, z * r);
  }
#endif
} KMVECTOR3;

typedef struct KMVECTOR4 {
  float x, y, z, w;
#ifdef __cplusplus
  KMVECTOR4() = default;
  KMVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  operator float*() { return &x; }
  operator const float*() const { return &x; }
  /* One reciprocal, then products; f = 0 is not caught. */
  KMVECTOR4& operator/=(float f) {
    const float r = 1.0f / f;
    x *= r;
    y *= r;
    z *= r;
    w *= r;
    return *this;
  }
  KMVECTOR4 operator/(float f) const {
    const float r = 1.0f / f;
    return KMVECTOR4(x * r, y * r, z * r, w * r);
  }
#endif
} KMVECTOR4;

/* w is the scalar part. */
typedef struct KMQUATERNION {
  float x, y, z, w;
#ifdef __cplusplus
  KMQUATERNION() = default;
  KMQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
#endif
} KMQUATERNION;

/* The plane a*x + b*y + c*z + d = 0. */
typedef struct KMPLANE {
  float a, b, c, d;
#ifdef __cplusplus
  KMPLANE() = default;
  KMPLANE(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
#endif
} KMPLANE;

typedef struct KMCOLOR {
  float r, g, b, a;
#ifdef __cplusplus
  KMCOLOR() = default;
  KMCOLOR(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
#endif
} KMCOLOR;

/* A 4 x 4 matrix: _RC is row R, column C; m[R-1][C-1] names the same float. */
typedef struct KMMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
#ifdef __cplusplus
  /* Leaves the sixteen elements as they were. */
  KMMATRIX() = default;
  KMMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24,
           float m31, float m32, float m33, float m34, float m41, float m42, float m43, float m44)
      : _11(m11), _12(m12), _13(m13), _14(m14), _21(m21), _22(m22), _23(m23), _24(m24),
        _31(m31), _32(m32), _33(m33), _34(m34), _41(m41), _42(m42), _43(m43), _44(m44) {}
  float& operator()(unsigned row, unsigned col) { return m[row][col]; }
  float operator()(unsigned row, unsigned col) const { return m[row][col]; }
  /* The product this x right (this applied first), through KMMatrixMultiply. */
  inline KMMATRIX operator*(const KMMATRIX& right) const;
#endif
} KMMATRIX;

/* IEEE half precision (1 sign, 5 exponent, 10 mantissa bits); exponent 31 is
 * an ordinary exponent, so the largest magnitude is 131008. */
typedef struct KMFLOAT16 {
  uint16_t value;
} KMFLOAT16;

typedef struct KMVIEWPORT {
  uint32_t X;
  uint32_t Y;
  uint32_t Width;
  uint32_t Height;
  float MinZ;
  float MaxZ;
} KMVIEWPORT;

/* ---- Vectors --------------------------------------------------------- */

/* Unit vector in the direction of v. A squared length within 2^-23 of 1 is
 * left as it is; one at or below the smallest normal float (or NaN) gives
 * the zero vector. out may be v. */
KMVECTOR2* KMVec2Normalize(KMVECTOR2* out, const KMVECTOR2* v);
KMVECTOR3* KMVec3Normalize(KMVECTOR3* out, const KMVECTOR3* v);
KMVECTOR4* KMVec4Normalize(KMVECTOR4* out, const KMVECTOR4* v);

/* Hermite spline through v1 (s = 0) and v2 (s = 1) with tangents t1, t2. */
KMVECTOR2* KMVec2Hermite(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* t1,
                         const KMVECTOR2* v2, const KMVECTOR2* t2, float s);
KMVECTOR3* KMVec3Hermite(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* t1,
                         const KMVECTOR3* v2, const KMVECTOR3* t2, float s);
KMVECTOR4* KMVec4Hermite(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* t1,
                         const KMVECTOR4* v2, const KMVECTOR4* t2, float s);
/* Catmull-Rom spline through v1 (s = 0) and v2 (s = 1). */
KMVECTOR2* KMVec2CatmullRom(KMVECTOR2* out, const KMVECTOR2* v0, const KMVECTOR2* v1,
                            const KMVECTOR2* v2, const KMVECTOR2* v3, float s);
KMVECTOR3* KMVec3CatmullRom(KMVECTOR3* out, const KMVECTOR3* v0, const KMVECTOR3* v1,
                            const KMVECTOR3* v2, const KMVECTOR3* v3, float s);
KMVECTOR4* KMVec4CatmullRom(KMVECTOR4* out, const KMVECTOR4* v0, const KMVECTOR4* v1,
                            const KMVECTOR4* v2, const KMVECTOR4* v3, float s);
/* v1 + f (v2 - v1) + g (v3 - v1). */
KMVECTOR2* KMVec2BaryCentric(KMVECTOR2* out, const KMVECTOR2* v1, const KMVECTOR2* v2,
                             const KMVECTOR2* v3, float f, float g);
KMVECTOR3* KMVec3BaryCentric(KMVECTOR3* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                             const KMVECTOR3* v3, float f, float g);
KMVECTOR4* KMVec4BaryCentric(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                             const KMVECTOR4* v3, float f, float g);

/* (v, [0,] 1) x m, all four components. */
KMVECTOR4* KMVec2Transform(KMVECTOR4* out, const KMVECTOR2* v, const KMMATRIX* m);
KMVECTOR4* KMVec3Transform(KMVECTOR4* out, const KMVECTOR3* v, const KMMATRIX* m);
KMVECTOR4* KMVec4Transform(KMVECTOR4* out, const KMVECTOR4* v, const KMMATRIX* m);
/* (v, [0,] 1) x m divided by its w, unless w is within 2^-23 of 1; w = 0 is
 * not caught. */
KMVECTOR2* KMVec2TransformCoord(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m);
KMVECTOR3* KMVec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m);
/* A direction: (v, [0,] 0) x m, no translation. */
KMVECTOR2* KMVec2TransformNormal(KMVECTOR2* out, const KMVECTOR2* v, const KMMATRIX* m);
KMVECTOR3* KMVec3TransformNormal(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m);

/* Strided array forms: element i is read at (char*)v + i * v_stride and
 * written at (char*)out + i * out_stride, strides in bytes; n = 0 writes
 * nothing. In place with equal strides is allowed. Return out. */
KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR2* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR3* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR4* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);

/* The 4-D vector orthogonal to v1, v2 and v3. out may be any input. */
KMVECTOR4* KMVec4Cross(KMVECTOR4* out, const KMVECTOR4* v1, const KMVECTOR4* v2,
                       const KMVECTOR4* v3);

/* ---- Planes, colours and the Fresnel term ----------------------------- */

/* Scales the plane so that its normal (a, b, c) has unit length, thresholds
 * as for the vectors; a tiny or NaN normal gives (0, 0, 0, 0). */
KMPLANE* KMPlaneNormalize(KMPLANE* out, const KMPLANE* plane);
/* The point where the unbounded line through v1 and v2 meets the plane, or
 * null (out untouched) when the line is parallel or the point not finite. */
KMVECTOR3* KMPlaneIntersectLine(KMVECTOR3* out, const KMPLANE* plane, const KMVECTOR3* v1,
                                const KMVECTOR3* v2);
/* The normal is used as given, not normalised. */
KMPLANE* KMPlaneFromPointNormal(KMPLANE* out, const KMVECTOR3* point, const KMVECTOR3* normal);
/* Unit normal (v2 - v1) x (v3 - v1); collinear points give a zero normal. */
KMPLANE* KMPlaneFromPoints(KMPLANE* out, const KMVECTOR3* v1, const KMVECTOR3* v2,
                           const KMVECTOR3* v3);
/* (a, b, c, d) x m as a row 4-vector; not normalised. */
KMPLANE* KMPlaneTransform(KMPLANE* out, const KMPLANE* plane, const KMMATRIX* m);
KMPLANE* KMPlaneTransformArray(KMPLANE* out, uint32_t out_stride, const KMPLANE* plane,
                               uint32_t plane_stride, const KMMATRIX* m, uint32_t n);

/* Moves r, g, b away from (s > 1) or towards (s < 1) their luminance; no
 * clamping, alpha copied. Not dispatched. */
KMCOLOR* KMColorAdjustSaturation(KMCOLOR* out, const KMCOLOR* color, float s);
/* (channel - 0.5) * c + 0.5 for r, g, b; no clamping, alpha copied. Not dispatched. */
KMCOLOR* KMColorAdjustContrast(KMCOLOR* out, const KMCOLOR* color, float c);
/* Unpolarised Fresnel reflectance in [0, 1] (NaN passes through); 1 for
 * cosTheta at or below zero. Not dispatched. */
float KMFresnelTerm(float cosTheta, float refractionIndex);

/* ---- Matrices -------------------------------------------------------- */

/* out = m1 x m2 (m1 applied first). out may be m1, m2 or both. */
KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2);
/* The identity with the fourth row (x, y, z, 1); the arguments are copied bit for bit. */
KMMATRIX* KMMatrixTranslation(KMMATRIX* out, float x, float y, float z);
/* Roll about z, then pitch about x, then yaw about y (radians). */
KMMATRIX* KMMatrixRotationYawPitchRoll(KMMATRIX* out, float yaw, float pitch, float roll);
/* The rotation matrix of q, used as given (not normalised first). */
KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q);

/* ---- Quaternions ----------------------------------------------------- */

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll);

/* ---- View and projection builders (not dispatched) ------------------- */

/* Left-handed perspective: view depth zn maps to 0 and zf to 1 after the divide by w. */
KMMATRIX* KMMatrixPerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf);

/* ---- Diagnostics ----------------------------------------------------- */

/* Forwards mute to "SetDebugMute" of the graphics device modules already loaded in the process,
 * unless the setting "MathDoNotMute" is nonzero. Loads nothing. */
void KMMuteDebugOutput(int32_t mute);

#ifdef __cplusplus
} /* extern "C" */

inline KMMATRIX KMMATRIX::operator*(const KMMATRIX& right) const {
  KMMATRIX product;
  KMMatrixMultiply(&product, this, &right);
  return product;
}
#endif

#endif /* KUBIK_KMATH_H */
