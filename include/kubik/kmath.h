/* Kubik math library: records and public operations.
 *
 * Every record is a run of consecutive 32-bit floats passed by pointer.
 * Matrices are row-major; points are row vectors multiplied on the left
 * (v x M), so the translation sits in the fourth row. Operations take the
 * output first and return it, so calls nest. The public operations have C
 * linkage; the record types carry small C++ conveniences under __cplusplus.
 *
 * Dispatched operations run the implementation family chosen for the
 * processor on the first call (KMGetImplementationFamily names it). The
 * families agree within single-precision rounding; where a comment says
 * "reference" it describes the reference and x87 families, and the
 * differences of the SIMD families (sse, sse2, 3dnow, avx2, avx512, neon)
 * are stated beside it or in docs/api.md.
 *
 * Threads: every operation is reentrant. The first dispatched call binds the
 * process-wide table under a lock, so calls from several threads are safe
 * from the start; afterwards a call is one load and one indirect jump. */
#ifndef KUBIK_KMATH_H
#define KUBIK_KMATH_H

#include <math.h>
#include <stdint.h>

/* Small inline companions: static in C, so no definition is needed elsewhere. */
#ifdef __cplusplus
#define KMINLINE inline
#else
#define KMINLINE static inline
#endif

/* Marks the matrix's nameless union and struct, which strict C++ (and C
 * before C11) does not have, as a deliberate extension. */
#if defined(__GNUC__) || defined(__clang__)
#define KM_EXTENSION __extension__
#else
#define KM_EXTENSION
#endif

/* Explicit conversions, so the inline bodies stay quiet under strict warnings. */
#ifdef __cplusplus
#define KM_DOUBLE_(v) static_cast<double>(v)
#define KM_FLOAT_(v) static_cast<float>(v)
#else
#define KM_DOUBLE_(v) ((double)(v))
#define KM_FLOAT_(v) ((float)(v))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Records --------------------------------------------------------- */

/* The C++ conveniences of the vector, quaternion, plane and colour records:
 * value arithmetic with records and scalars, compound forms, unary minus and
 * comparison by value (a NaN component makes two records unequal, and 0.0
 * equals -0.0). Division by a scalar takes one reciprocal, then products;
 * f = 0 is not caught. The vectors also convert to a pointer to their first
 * float, so they can be passed where a float array is expected; pointer
 * arithmetic on that conversion (v + 1 pointing at v.y) is refused at compile
 * time. */

typedef struct KMVECTOR2 {
  float x, y;
#ifdef __cplusplus
  KMVECTOR2() = default;
  KMVECTOR2(float x_, float y_) : x(x_), y(y_) {}
  operator float*() {
    return &x;
  }
  operator const float*() const {
    return &x;
  }
  KMVECTOR2& operator+=(const KMVECTOR2& v) {
    x += v.x;
    y += v.y;
    return *this;
  }
  KMVECTOR2& operator-=(const KMVECTOR2& v) {
    x -= v.x;
    y -= v.y;
    return *this;
  }
  KMVECTOR2& operator*=(float f) {
    x *= f;
    y *= f;
    return *this;
  }
  KMVECTOR2& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  KMVECTOR2 operator+() const {
    return *this;
  }
  KMVECTOR2 operator-() const {
    return KMVECTOR2(-x, -y);
  }
  KMVECTOR2 operator+(const KMVECTOR2& v) const {
    return KMVECTOR2(x + v.x, y + v.y);
  }
  KMVECTOR2 operator-(const KMVECTOR2& v) const {
    return KMVECTOR2(x - v.x, y - v.y);
  }
  KMVECTOR2 operator*(float f) const {
    return KMVECTOR2(x * f, y * f);
  }
  KMVECTOR2 operator/(float f) const {
    return *this * (1.0f / f);
  }
  bool operator==(const KMVECTOR2& v) const {
    return x == v.x && y == v.y;
  }
  bool operator!=(const KMVECTOR2& v) const {
    return !(*this == v);
  }
  void operator+(int) const = delete;
  void operator-(int) const = delete;
#endif
} KMVECTOR2;

typedef struct KMVECTOR3 {
  float x, y, z;
#ifdef __cplusplus
  KMVECTOR3() = default;
  KMVECTOR3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  operator float*() {
    return &x;
  }
  operator const float*() const {
    return &x;
  }
  KMVECTOR3& operator+=(const KMVECTOR3& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  KMVECTOR3& operator-=(const KMVECTOR3& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
  }
  KMVECTOR3& operator*=(float f) {
    x *= f;
    y *= f;
    z *= f;
    return *this;
  }
  KMVECTOR3& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  KMVECTOR3 operator+() const {
    return *this;
  }
  KMVECTOR3 operator-() const {
    return KMVECTOR3(-x, -y, -z);
  }
  KMVECTOR3 operator+(const KMVECTOR3& v) const {
    return KMVECTOR3(x + v.x, y + v.y, z + v.z);
  }
  KMVECTOR3 operator-(const KMVECTOR3& v) const {
    return KMVECTOR3(x - v.x, y - v.y, z - v.z);
  }
  KMVECTOR3 operator*(float f) const {
    return KMVECTOR3(x * f, y * f, z * f);
  }
  KMVECTOR3 operator/(float f) const {
    return *this * (1.0f / f);
  }
  bool operator==(const KMVECTOR3& v) const {
    return x == v.x && y == v.y && z == v.z;
  }
  bool operator!=(const KMVECTOR3& v) const {
    return !(*this == v);
  }
  void operator+(int) const = delete;
  void operator-(int) const = delete;
#endif
} KMVECTOR3;

typedef struct KMVECTOR4 {
  float x, y, z, w;
#ifdef __cplusplus
  KMVECTOR4() = default;
  KMVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  operator float*() {
    return &x;
  }
  operator const float*() const {
    return &x;
  }
  KMVECTOR4& operator+=(const KMVECTOR4& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    w += v.w;
    return *this;
  }
  KMVECTOR4& operator-=(const KMVECTOR4& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    w -= v.w;
    return *this;
  }
  KMVECTOR4& operator*=(float f) {
    x *= f;
    y *= f;
    z *= f;
    w *= f;
    return *this;
  }
  KMVECTOR4& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  KMVECTOR4 operator+() const {
    return *this;
  }
  KMVECTOR4 operator-() const {
    return KMVECTOR4(-x, -y, -z, -w);
  }
  KMVECTOR4 operator+(const KMVECTOR4& v) const {
    return KMVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w);
  }
  KMVECTOR4 operator-(const KMVECTOR4& v) const {
    return KMVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w);
  }
  KMVECTOR4 operator*(float f) const {
    return KMVECTOR4(x * f, y * f, z * f, w * f);
  }
  KMVECTOR4 operator/(float f) const {
    return *this * (1.0f / f);
  }
  bool operator==(const KMVECTOR4& v) const {
    return x == v.x && y == v.y && z == v.z && w == v.w;
  }
  bool operator!=(const KMVECTOR4& v) const {
    return !(*this == v);
  }
  void operator+(int) const = delete;
  void operator-(int) const = delete;
#endif
} KMVECTOR4;

/* w is the scalar part. */
typedef struct KMQUATERNION {
  float x, y, z, w;
#ifdef __cplusplus
  KMQUATERNION() = default;
  KMQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  KMQUATERNION& operator+=(const KMQUATERNION& p) {
    x += p.x;
    y += p.y;
    z += p.z;
    w += p.w;
    return *this;
  }
  KMQUATERNION& operator-=(const KMQUATERNION& p) {
    x -= p.x;
    y -= p.y;
    z -= p.z;
    w -= p.w;
    return *this;
  }
  KMQUATERNION& operator*=(float f) {
    x *= f;
    y *= f;
    z *= f;
    w *= f;
    return *this;
  }
  KMQUATERNION& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  /* This rotation followed by p, through KMQuaternionMultiply. */
  inline KMQUATERNION& operator*=(const KMQUATERNION& p);
  KMQUATERNION operator+() const {
    return *this;
  }
  KMQUATERNION operator-() const {
    return KMQUATERNION(-x, -y, -z, -w);
  }
  KMQUATERNION operator+(const KMQUATERNION& p) const {
    return KMQUATERNION(x + p.x, y + p.y, z + p.z, w + p.w);
  }
  KMQUATERNION operator-(const KMQUATERNION& p) const {
    return KMQUATERNION(x - p.x, y - p.y, z - p.z, w - p.w);
  }
  KMQUATERNION operator*(float f) const {
    return KMQUATERNION(x * f, y * f, z * f, w * f);
  }
  KMQUATERNION operator/(float f) const {
    return *this * (1.0f / f);
  }
  /* This rotation followed by p, through KMQuaternionMultiply. */
  inline KMQUATERNION operator*(const KMQUATERNION& p) const;
  bool operator==(const KMQUATERNION& p) const {
    return x == p.x && y == p.y && z == p.z && w == p.w;
  }
  bool operator!=(const KMQUATERNION& p) const {
    return !(*this == p);
  }
#endif
} KMQUATERNION;

/* The plane a*x + b*y + c*z + d = 0. Its arithmetic acts on all four
 * coefficients, as on a 4-vector. */
typedef struct KMPLANE {
  float a, b, c, d;
#ifdef __cplusplus
  KMPLANE() = default;
  KMPLANE(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
  KMPLANE& operator+=(const KMPLANE& p) {
    a += p.a;
    b += p.b;
    c += p.c;
    d += p.d;
    return *this;
  }
  KMPLANE& operator-=(const KMPLANE& p) {
    a -= p.a;
    b -= p.b;
    c -= p.c;
    d -= p.d;
    return *this;
  }
  KMPLANE& operator*=(float f) {
    a *= f;
    b *= f;
    c *= f;
    d *= f;
    return *this;
  }
  KMPLANE& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  KMPLANE operator+() const {
    return *this;
  }
  KMPLANE operator-() const {
    return KMPLANE(-a, -b, -c, -d);
  }
  KMPLANE operator+(const KMPLANE& p) const {
    return KMPLANE(a + p.a, b + p.b, c + p.c, d + p.d);
  }
  KMPLANE operator-(const KMPLANE& p) const {
    return KMPLANE(a - p.a, b - p.b, c - p.c, d - p.d);
  }
  KMPLANE operator*(float f) const {
    return KMPLANE(a * f, b * f, c * f, d * f);
  }
  KMPLANE operator/(float f) const {
    return *this * (1.0f / f);
  }
  bool operator==(const KMPLANE& p) const {
    return a == p.a && b == p.b && c == p.c && d == p.d;
  }
  bool operator!=(const KMPLANE& p) const {
    return !(*this == p);
  }
#endif
} KMPLANE;

/* Colour arithmetic acts on all four channels, alpha included, without clamping. */
typedef struct KMCOLOR {
  float r, g, b, a;
#ifdef __cplusplus
  KMCOLOR() = default;
  KMCOLOR(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
  KMCOLOR& operator+=(const KMCOLOR& c) {
    r += c.r;
    g += c.g;
    b += c.b;
    a += c.a;
    return *this;
  }
  KMCOLOR& operator-=(const KMCOLOR& c) {
    r -= c.r;
    g -= c.g;
    b -= c.b;
    a -= c.a;
    return *this;
  }
  KMCOLOR& operator*=(float f) {
    r *= f;
    g *= f;
    b *= f;
    a *= f;
    return *this;
  }
  KMCOLOR& operator/=(float f) {
    return *this *= 1.0f / f;
  }
  KMCOLOR operator+() const {
    return *this;
  }
  KMCOLOR operator-() const {
    return KMCOLOR(-r, -g, -b, -a);
  }
  KMCOLOR operator+(const KMCOLOR& c) const {
    return KMCOLOR(r + c.r, g + c.g, b + c.b, a + c.a);
  }
  KMCOLOR operator-(const KMCOLOR& c) const {
    return KMCOLOR(r - c.r, g - c.g, b - c.b, a - c.a);
  }
  KMCOLOR operator*(float f) const {
    return KMCOLOR(r * f, g * f, b * f, a * f);
  }
  KMCOLOR operator/(float f) const {
    return *this * (1.0f / f);
  }
  bool operator==(const KMCOLOR& c) const {
    return r == c.r && g == c.g && b == c.b && a == c.a;
  }
  bool operator!=(const KMCOLOR& c) const {
    return !(*this == c);
  }
#endif
} KMCOLOR;

/* A 4 x 4 matrix: _RC is row R, column C; m[R-1][C-1] names the same float.
 * (The nameless union and struct are marked as an extension so that strict
 * C++ builds accept them; the layout is sixteen consecutive floats.) */
typedef struct KMMATRIX {
  KM_EXTENSION union {
    KM_EXTENSION struct {
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
      : _11(m11),
        _12(m12),
        _13(m13),
        _14(m14),
        _21(m21),
        _22(m22),
        _23(m23),
        _24(m24),
        _31(m31),
        _32(m32),
        _33(m33),
        _34(m34),
        _41(m41),
        _42(m42),
        _43(m43),
        _44(m44) {}
  float& operator()(unsigned row, unsigned col) {
    return m[row][col];
  }
  float operator()(unsigned row, unsigned col) const {
    return m[row][col];
  }
  /* The product this x right (this applied first), through KMMatrixMultiply. */
  inline KMMATRIX operator*(const KMMATRIX& right) const;
  /* Element by element, as for the vectors. */
  bool operator==(const KMMATRIX& right) const {
    for (unsigned r = 0; r < 4; ++r) {
      for (unsigned c = 0; c < 4; ++c) {
        if (!(m[r][c] == right.m[r][c])) return false;
      }
    }
    return true;
  }
  bool operator!=(const KMMATRIX& right) const {
    return !(*this == right);
  }
#endif
} KMMATRIX;

/* Sixteen bits of a half-precision value: 1 sign, 5 exponent (bias 15) and 10
 * mantissa bits. Two encodings use this layout, and the functions say which:
 * - the library's extended-range format (KMFloat32To16Array, KMFloat16To32Array):
 *   exponent 31 is an ordinary exponent, so there are no infinities or NaNs and
 *   the largest magnitude is 131008 (0x7fff);
 * - IEEE 754 binary16, as graphics processors and file formats read it
 *   (KMFloat32ToIeeeHalfArray, KMIeeeHalfToFloat32Array): exponent 31 holds the
 *   infinities and NaNs, the largest finite magnitude is 65504 (0x7bff).
 * The two agree on every value below 65536 in magnitude. */
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

/* ---- Everyday inline operations -------------------------------------- */
/* Defined here, not dispatched: each is a few instructions. Same conventions
 * as the rest: output first, returned, and out may be any input. Dot products
 * and lengths are summed in double and rounded to float once. */

KMINLINE float KMVec2Dot(const KMVECTOR2* a, const KMVECTOR2* b) {
  return KM_FLOAT_(KM_DOUBLE_(a->x) * KM_DOUBLE_(b->x) + KM_DOUBLE_(a->y) * KM_DOUBLE_(b->y));
}
KMINLINE float KMVec3Dot(const KMVECTOR3* a, const KMVECTOR3* b) {
  return KM_FLOAT_(KM_DOUBLE_(a->x) * KM_DOUBLE_(b->x) + KM_DOUBLE_(a->y) * KM_DOUBLE_(b->y) +
                   KM_DOUBLE_(a->z) * KM_DOUBLE_(b->z));
}
KMINLINE float KMVec4Dot(const KMVECTOR4* a, const KMVECTOR4* b) {
  return KM_FLOAT_(KM_DOUBLE_(a->x) * KM_DOUBLE_(b->x) + KM_DOUBLE_(a->y) * KM_DOUBLE_(b->y) +
                   KM_DOUBLE_(a->z) * KM_DOUBLE_(b->z) + KM_DOUBLE_(a->w) * KM_DOUBLE_(b->w));
}
KMINLINE float KMVec2LengthSq(const KMVECTOR2* v) {
  return KMVec2Dot(v, v);
}
KMINLINE float KMVec3LengthSq(const KMVECTOR3* v) {
  return KMVec3Dot(v, v);
}
KMINLINE float KMVec4LengthSq(const KMVECTOR4* v) {
  return KMVec4Dot(v, v);
}
KMINLINE float KMVec2Length(const KMVECTOR2* v) {
  return KM_FLOAT_(sqrt(KM_DOUBLE_(v->x) * KM_DOUBLE_(v->x) + KM_DOUBLE_(v->y) * KM_DOUBLE_(v->y)));
}
KMINLINE float KMVec3Length(const KMVECTOR3* v) {
  return KM_FLOAT_(sqrt(KM_DOUBLE_(v->x) * KM_DOUBLE_(v->x) + KM_DOUBLE_(v->y) * KM_DOUBLE_(v->y) +
                        KM_DOUBLE_(v->z) * KM_DOUBLE_(v->z)));
}
KMINLINE float KMVec4Length(const KMVECTOR4* v) {
  return KM_FLOAT_(sqrt(KM_DOUBLE_(v->x) * KM_DOUBLE_(v->x) + KM_DOUBLE_(v->y) * KM_DOUBLE_(v->y) +
                        KM_DOUBLE_(v->z) * KM_DOUBLE_(v->z) + KM_DOUBLE_(v->w) * KM_DOUBLE_(v->w)));
}
/* The z component of the 3-D cross product of (a, 0) and (b, 0): positive
 * when b lies counter-clockwise of a. */
KMINLINE float KMVec2Cross(const KMVECTOR2* a, const KMVECTOR2* b) {
  return KM_FLOAT_(KM_DOUBLE_(a->x) * KM_DOUBLE_(b->y) - KM_DOUBLE_(a->y) * KM_DOUBLE_(b->x));
}
KMINLINE KMVECTOR3* KMVec3Cross(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b) {
  const float x =
      KM_FLOAT_(KM_DOUBLE_(a->y) * KM_DOUBLE_(b->z) - KM_DOUBLE_(a->z) * KM_DOUBLE_(b->y));
  const float y =
      KM_FLOAT_(KM_DOUBLE_(a->z) * KM_DOUBLE_(b->x) - KM_DOUBLE_(a->x) * KM_DOUBLE_(b->z));
  const float z =
      KM_FLOAT_(KM_DOUBLE_(a->x) * KM_DOUBLE_(b->y) - KM_DOUBLE_(a->y) * KM_DOUBLE_(b->x));
  out->x = x;
  out->y = y;
  out->z = z;
  return out;
}

KMINLINE KMVECTOR2* KMVec2Add(KMVECTOR2* out, const KMVECTOR2* a, const KMVECTOR2* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
  return out;
}
KMINLINE KMVECTOR3* KMVec3Add(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
  out->z = a->z + b->z;
  return out;
}
KMINLINE KMVECTOR4* KMVec4Add(KMVECTOR4* out, const KMVECTOR4* a, const KMVECTOR4* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
  out->z = a->z + b->z;
  out->w = a->w + b->w;
  return out;
}
KMINLINE KMVECTOR2* KMVec2Subtract(KMVECTOR2* out, const KMVECTOR2* a, const KMVECTOR2* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
  return out;
}
KMINLINE KMVECTOR3* KMVec3Subtract(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
  out->z = a->z - b->z;
  return out;
}
KMINLINE KMVECTOR4* KMVec4Subtract(KMVECTOR4* out, const KMVECTOR4* a, const KMVECTOR4* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
  out->z = a->z - b->z;
  out->w = a->w - b->w;
  return out;
}
KMINLINE KMVECTOR2* KMVec2Scale(KMVECTOR2* out, const KMVECTOR2* v, float s) {
  out->x = v->x * s;
  out->y = v->y * s;
  return out;
}
KMINLINE KMVECTOR3* KMVec3Scale(KMVECTOR3* out, const KMVECTOR3* v, float s) {
  out->x = v->x * s;
  out->y = v->y * s;
  out->z = v->z * s;
  return out;
}
KMINLINE KMVECTOR4* KMVec4Scale(KMVECTOR4* out, const KMVECTOR4* v, float s) {
  out->x = v->x * s;
  out->y = v->y * s;
  out->z = v->z * s;
  out->w = v->w * s;
  return out;
}
/* a + s (b - a), rounded once per component: s = 0 gives a, s = 1 gives b. */
KMINLINE KMVECTOR2* KMVec2Lerp(KMVECTOR2* out, const KMVECTOR2* a, const KMVECTOR2* b, float s) {
  out->x = KM_FLOAT_(KM_DOUBLE_(a->x) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->x) - KM_DOUBLE_(a->x)));
  out->y = KM_FLOAT_(KM_DOUBLE_(a->y) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->y) - KM_DOUBLE_(a->y)));
  return out;
}
KMINLINE KMVECTOR3* KMVec3Lerp(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b, float s) {
  out->x = KM_FLOAT_(KM_DOUBLE_(a->x) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->x) - KM_DOUBLE_(a->x)));
  out->y = KM_FLOAT_(KM_DOUBLE_(a->y) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->y) - KM_DOUBLE_(a->y)));
  out->z = KM_FLOAT_(KM_DOUBLE_(a->z) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->z) - KM_DOUBLE_(a->z)));
  return out;
}
KMINLINE KMVECTOR4* KMVec4Lerp(KMVECTOR4* out, const KMVECTOR4* a, const KMVECTOR4* b, float s) {
  out->x = KM_FLOAT_(KM_DOUBLE_(a->x) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->x) - KM_DOUBLE_(a->x)));
  out->y = KM_FLOAT_(KM_DOUBLE_(a->y) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->y) - KM_DOUBLE_(a->y)));
  out->z = KM_FLOAT_(KM_DOUBLE_(a->z) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->z) - KM_DOUBLE_(a->z)));
  out->w = KM_FLOAT_(KM_DOUBLE_(a->w) + KM_DOUBLE_(s) * (KM_DOUBLE_(b->w) - KM_DOUBLE_(a->w)));
  return out;
}
/* Component-wise minimum and maximum; a NaN in b gives a's component. */
#define KM_MIN_(p, q) ((q) < (p) ? (q) : (p))
#define KM_MAX_(p, q) ((q) > (p) ? (q) : (p))
KMINLINE KMVECTOR2* KMVec2Minimize(KMVECTOR2* out, const KMVECTOR2* a, const KMVECTOR2* b) {
  out->x = KM_MIN_(a->x, b->x);
  out->y = KM_MIN_(a->y, b->y);
  return out;
}
KMINLINE KMVECTOR3* KMVec3Minimize(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b) {
  out->x = KM_MIN_(a->x, b->x);
  out->y = KM_MIN_(a->y, b->y);
  out->z = KM_MIN_(a->z, b->z);
  return out;
}
KMINLINE KMVECTOR4* KMVec4Minimize(KMVECTOR4* out, const KMVECTOR4* a, const KMVECTOR4* b) {
  out->x = KM_MIN_(a->x, b->x);
  out->y = KM_MIN_(a->y, b->y);
  out->z = KM_MIN_(a->z, b->z);
  out->w = KM_MIN_(a->w, b->w);
  return out;
}
KMINLINE KMVECTOR2* KMVec2Maximize(KMVECTOR2* out, const KMVECTOR2* a, const KMVECTOR2* b) {
  out->x = KM_MAX_(a->x, b->x);
  out->y = KM_MAX_(a->y, b->y);
  return out;
}
KMINLINE KMVECTOR3* KMVec3Maximize(KMVECTOR3* out, const KMVECTOR3* a, const KMVECTOR3* b) {
  out->x = KM_MAX_(a->x, b->x);
  out->y = KM_MAX_(a->y, b->y);
  out->z = KM_MAX_(a->z, b->z);
  return out;
}
KMINLINE KMVECTOR4* KMVec4Maximize(KMVECTOR4* out, const KMVECTOR4* a, const KMVECTOR4* b) {
  out->x = KM_MAX_(a->x, b->x);
  out->y = KM_MAX_(a->y, b->y);
  out->z = KM_MAX_(a->z, b->z);
  out->w = KM_MAX_(a->w, b->w);
  return out;
}
#undef KM_MIN_
#undef KM_MAX_

/* a*x + b*y + c*z + d*w. */
KMINLINE float KMPlaneDot(const KMPLANE* plane, const KMVECTOR4* v) {
  return KM_FLOAT_(
      KM_DOUBLE_(plane->a) * KM_DOUBLE_(v->x) + KM_DOUBLE_(plane->b) * KM_DOUBLE_(v->y) +
      KM_DOUBLE_(plane->c) * KM_DOUBLE_(v->z) + KM_DOUBLE_(plane->d) * KM_DOUBLE_(v->w));
}
/* a*x + b*y + c*z + d: the signed distance of the point when the normal is unit length. */
KMINLINE float KMPlaneDotCoord(const KMPLANE* plane, const KMVECTOR3* point) {
  return KM_FLOAT_(KM_DOUBLE_(plane->a) * KM_DOUBLE_(point->x) +
                   KM_DOUBLE_(plane->b) * KM_DOUBLE_(point->y) +
                   KM_DOUBLE_(plane->c) * KM_DOUBLE_(point->z) + KM_DOUBLE_(plane->d));
}
/* a*x + b*y + c*z: the normal's dot product with a direction. */
KMINLINE float KMPlaneDotNormal(const KMPLANE* plane, const KMVECTOR3* v) {
  return KM_FLOAT_(KM_DOUBLE_(plane->a) * KM_DOUBLE_(v->x) +
                   KM_DOUBLE_(plane->b) * KM_DOUBLE_(v->y) +
                   KM_DOUBLE_(plane->c) * KM_DOUBLE_(v->z));
}
/* All four coefficients times s (s < 0 also turns the plane's front side). */
KMINLINE KMPLANE* KMPlaneScale(KMPLANE* out, const KMPLANE* plane, float s) {
  out->a = plane->a * s;
  out->b = plane->b * s;
  out->c = plane->c * s;
  out->d = plane->d * s;
  return out;
}

/* Colours: all four channels, alpha included, never clamped. */
KMINLINE KMCOLOR* KMColorAdd(KMCOLOR* out, const KMCOLOR* c1, const KMCOLOR* c2) {
  out->r = c1->r + c2->r;
  out->g = c1->g + c2->g;
  out->b = c1->b + c2->b;
  out->a = c1->a + c2->a;
  return out;
}
KMINLINE KMCOLOR* KMColorSubtract(KMCOLOR* out, const KMCOLOR* c1, const KMCOLOR* c2) {
  out->r = c1->r - c2->r;
  out->g = c1->g - c2->g;
  out->b = c1->b - c2->b;
  out->a = c1->a - c2->a;
  return out;
}
KMINLINE KMCOLOR* KMColorScale(KMCOLOR* out, const KMCOLOR* c, float s) {
  out->r = c->r * s;
  out->g = c->g * s;
  out->b = c->b * s;
  out->a = c->a * s;
  return out;
}
/* Channel by channel product (a filter). */
KMINLINE KMCOLOR* KMColorModulate(KMCOLOR* out, const KMCOLOR* c1, const KMCOLOR* c2) {
  out->r = c1->r * c2->r;
  out->g = c1->g * c2->g;
  out->b = c1->b * c2->b;
  out->a = c1->a * c2->a;
  return out;
}
KMINLINE KMCOLOR* KMColorLerp(KMCOLOR* out, const KMCOLOR* c1, const KMCOLOR* c2, float s) {
  out->r = KM_FLOAT_(KM_DOUBLE_(c1->r) + KM_DOUBLE_(s) * (KM_DOUBLE_(c2->r) - KM_DOUBLE_(c1->r)));
  out->g = KM_FLOAT_(KM_DOUBLE_(c1->g) + KM_DOUBLE_(s) * (KM_DOUBLE_(c2->g) - KM_DOUBLE_(c1->g)));
  out->b = KM_FLOAT_(KM_DOUBLE_(c1->b) + KM_DOUBLE_(s) * (KM_DOUBLE_(c2->b) - KM_DOUBLE_(c1->b)));
  out->a = KM_FLOAT_(KM_DOUBLE_(c1->a) + KM_DOUBLE_(s) * (KM_DOUBLE_(c2->a) - KM_DOUBLE_(c1->a)));
  return out;
}
/* (1 - r, 1 - g, 1 - b), alpha copied. */
KMINLINE KMCOLOR* KMColorNegative(KMCOLOR* out, const KMCOLOR* c) {
  out->r = 1.0f - c->r;
  out->g = 1.0f - c->g;
  out->b = 1.0f - c->b;
  out->a = c->a;
  return out;
}

/* ---- Vectors --------------------------------------------------------- */

/* Unit vector in the direction of v; out may be v. Reference: a squared
 * length within 2^-23 of 1 is left as it is; one at or below the smallest
 * normal float (2^-126), or NaN, gives the zero vector. The SIMD families
 * scale by a refined reciprocal square root (within 2^-22) with no unit-length
 * shortcut; they too give the zero vector at or below 2^-126 or for NaN,
 * except that sse and sse2 already do so below 2^-46 in KMVec3Normalize.
 * The x87 family's KMVec3Normalize uses a table (within 1.5e-6), keeps a
 * squared length within 1e-5 of 1, gives zero only for the zero vector and
 * meaningless values for denormal or NaN squared lengths. */
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
/* (v, [0,] 1) x m divided by its w; w = 0 is not caught. Reference: no
 * division when w is within 2^-23 of 1. SIMD families: always multiplied by a
 * refined reciprocal of w, so w = 1 may move the result by 2^-22 relative. */
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
 * as for KMVec3Normalize in each family (the x87 family uses the reference's);
 * a tiny or NaN normal gives (0, 0, 0, 0). */
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

KMINLINE KMMATRIX* KMMatrixIdentity(KMMATRIX* out) {
  int r, c;
  for (r = 0; r < 4; ++r) {
    for (c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  }
  return out;
}
/* Nonzero when m is exactly the identity (-0.0 counts as 0). */
KMINLINE int KMMatrixIsIdentity(const KMMATRIX* m) {
  int r, c;
  for (r = 0; r < 4; ++r) {
    for (c = 0; c < 4; ++c) {
      if (m->m[r][c] != (r == c ? 1.0f : 0.0f)) return 0;
    }
  }
  return 1;
}

/* out = m1 x m2 (m1 applied first). out may be m1, m2 or both. */
KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2);
/* The identity with the fourth row (x, y, z, 1); the arguments are copied bit for bit. */
KMMATRIX* KMMatrixTranslation(KMMATRIX* out, float x, float y, float z);
/* Roll about z, then pitch about x, then yaw about y (radians). */
KMMATRIX* KMMatrixRotationYawPitchRoll(KMMATRIX* out, float yaw, float pitch, float roll);
/* The rotation matrix of q, used as given (not normalised first). */
KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q);
KMMATRIX* KMMatrixTranspose(KMMATRIX* out, const KMMATRIX* m);
/* transpose(m1 x m2). out may be m1 or m2. */
KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2);
float KMMatrixDeterminant(const KMMATRIX* m);
/* Returns null, leaving out untouched, when the determinant is 0 or NaN or its reciprocal
 * does not fit a float. out may be m. The determinant is stored through a non-null pointer
 * before the test in the reference, x87, 3dnow, avx2, avx512 and neon families, so a singular
 * matrix reports 0; the sse and sse2 families do not store a zero or NaN determinant (the
 * pointer's float keeps its value) but store every other one, including one whose reciprocal
 * overflows. */
KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m);
KMMATRIX* KMMatrixScaling(KMMATRIX* out, float sx, float sy, float sz);
KMMATRIX* KMMatrixRotationX(KMMATRIX* out, float angle);
KMMATRIX* KMMatrixRotationY(KMMATRIX* out, float angle);
KMMATRIX* KMMatrixRotationZ(KMMATRIX* out, float angle);
/* The axis may have any non-zero length; it is not written. */
KMMATRIX* KMMatrixRotationAxis(KMMATRIX* out, const KMVECTOR3* axis, float angle);
/* Scaling about scaling_centre along the axes turned by scaling_rotation, then rotation
 * about rotation_centre, then translation. Every pointer may be null (no such factor; a
 * null centre is the origin); without a scaling the centre and its rotation are ignored. */
KMMATRIX* KMMatrixTransformation(KMMATRIX* out, const KMVECTOR3* scaling_centre,
                                 const KMQUATERNION* scaling_rotation, const KMVECTOR3* scaling,
                                 const KMVECTOR3* rotation_centre, const KMQUATERNION* rotation,
                                 const KMVECTOR3* translation);
/* The same in the xy plane; an angle of exactly 0 leaves its rotation out. */
KMMATRIX* KMMatrixTransformation2D(KMMATRIX* out, const KMVECTOR2* scaling_centre,
                                   float scaling_rotation, const KMVECTOR2* scaling,
                                   const KMVECTOR2* rotation_centre, float rotation,
                                   const KMVECTOR2* translation);
/* Uniform scaling about the origin, rotation about rotation_centre, then translation. */
KMMATRIX* KMMatrixAffineTransformation(KMMATRIX* out, float scaling,
                                       const KMVECTOR3* rotation_centre,
                                       const KMQUATERNION* rotation, const KMVECTOR3* translation);
KMMATRIX* KMMatrixAffineTransformation2D(KMMATRIX* out, float scaling,
                                         const KMVECTOR2* rotation_centre, float rotation,
                                         const KMVECTOR2* translation);
/* Flattens geometry onto the plane (normalised first) along rays from the light; a light
 * with w = 0 is a direction. */
KMMATRIX* KMMatrixShadow(KMMATRIX* out, const KMVECTOR4* light, const KMPLANE* plane);
/* Mirror image in the plane (normalised first). */
KMMATRIX* KMMatrixReflect(KMMATRIX* out, const KMPLANE* plane);

/* ---- Quaternions ----------------------------------------------------- */
/* Products follow the matrix order: Multiply(out, q1, q2) is q1 followed by q2
 * (the Hamilton product q2 q1). */

/* (0, 0, 0, 1), the rotation by nothing. */
KMINLINE KMQUATERNION* KMQuaternionIdentity(KMQUATERNION* out) {
  out->x = 0.0f;
  out->y = 0.0f;
  out->z = 0.0f;
  out->w = 1.0f;
  return out;
}
/* Nonzero when q is exactly (0, 0, 0, 1) (-0.0 counts as 0). */
KMINLINE int KMQuaternionIsIdentity(const KMQUATERNION* q) {
  return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}
KMINLINE float KMQuaternionDot(const KMQUATERNION* q, const KMQUATERNION* p) {
  return KM_FLOAT_(KM_DOUBLE_(q->x) * KM_DOUBLE_(p->x) + KM_DOUBLE_(q->y) * KM_DOUBLE_(p->y) +
                   KM_DOUBLE_(q->z) * KM_DOUBLE_(p->z) + KM_DOUBLE_(q->w) * KM_DOUBLE_(p->w));
}
KMINLINE float KMQuaternionLengthSq(const KMQUATERNION* q) {
  return KMQuaternionDot(q, q);
}
KMINLINE KMQUATERNION* KMQuaternionConjugate(KMQUATERNION* out, const KMQUATERNION* q) {
  out->x = -q->x;
  out->y = -q->y;
  out->z = -q->z;
  out->w = q->w;
  return out;
}

/* From the upper 3 x 3 block of a rotation matrix; not normalised afterwards. */
KMQUATERNION* KMQuaternionRotationMatrix(KMQUATERNION* out, const KMMATRIX* m);
/* The axis may have any non-zero length; it is not written. */
KMQUATERNION* KMQuaternionRotationAxis(KMQUATERNION* out, const KMVECTOR3* axis, float angle);
KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll);
/* q1 followed by q2. out may be either input. */
KMQUATERNION* KMQuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1,
                                   const KMQUATERNION* q2);
/* Reference: a squared length within 2^-23 of 1 is kept; one at or below 2^-126 (or NaN)
 * gives 0. SIMD families: as KMVec4Normalize. */
KMQUATERNION* KMQuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q);
/* Conjugate over squared length; a squared length at or below 2^-63 (or NaN) gives 0. The sse
 * family divides without a test (zero gives NaN); the others keep the guard. */
KMQUATERNION* KMQuaternionInverse(KMQUATERNION* out, const KMQUATERNION* q);
/* (sin t * v, cos t) -> (t * v, 0). */
KMQUATERNION* KMQuaternionLn(KMQUATERNION* out, const KMQUATERNION* q);
/* (t * v, any w) -> (sin t * v, cos t). */
KMQUATERNION* KMQuaternionExp(KMQUATERNION* out, const KMQUATERNION* q);
/* Along the shorter arc (towards -q2 when q1 . q2 < 0); not normalised. */
KMQUATERNION* KMQuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                                float t);
/* Slerp(Slerp(q1, c, t), Slerp(a, b, t), 2t(1 - t)). */
KMQUATERNION* KMQuaternionSquad(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* a,
                                const KMQUATERNION* b, const KMQUATERNION* c, float t);
/* Slerp(Slerp(q1, q2, f + g), Slerp(q1, q3, f + g), g / (f + g)); q1 when f + g is 0. */
KMQUATERNION* KMQuaternionBaryCentric(KMQUATERNION* out, const KMQUATERNION* q1,
                                      const KMQUATERNION* q2, const KMQUATERNION* q3, float f,
                                      float g);
/* Control points for Squad(q1, a_out, b_out, c_out, t) between q1 and q2, with q0 and q3
 * the neighbours. The outputs may be any of the inputs. */
void KMQuaternionSquadSetup(KMQUATERNION* a_out, KMQUATERNION* b_out, KMQUATERNION* c_out,
                            const KMQUATERNION* q0, const KMQUATERNION* q1, const KMQUATERNION* q2,
                            const KMQUATERNION* q3);
/* axis = (x, y, z) unnormalised, angle = 2 acos(w); either output may be null. */
void KMQuaternionToAxisAngle(const KMQUATERNION* q, KMVECTOR3* axis, float* angle);

/* ---- Half precision -------------------------------------------------- */

/* The library's extended-range format (see KMFLOAT16). Rounds n floats to
 * nearest with ties to even; magnitudes from 131040 up, infinities and NaNs
 * saturate to +-131008, so an overflow or a NaN comes back as a large finite
 * value. Below 2^-14 the bits under the denormal grid are dropped before
 * rounding. Integer-only, so the result is exact and independent of the FPU
 * mode. For data read by a graphics processor use the IEEE pair below. */
KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n);
/* Widens n halves of the extended-range format to floats, exactly: 0x7c00 is
 * 65536, 0x7fff is 131008; never an infinity or a NaN. */
float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n);

/* IEEE 754 binary16. Rounds n floats to nearest with ties to even, with IEEE
 * denormals; magnitudes from 65520 up and infinities give infinity, a NaN
 * gives a quiet NaN with the top ten bits of its payload and its sign. The
 * bits equal the processor's own conversion (F16C on x86-64, the ARM64
 * conversion), which is used where present, whatever the FPU mode. */
KMFLOAT16* KMFloat32ToIeeeHalfArray(KMFLOAT16* out, const float* in, uint32_t n);
/* Widens n IEEE halves to floats, exactly; infinities stay infinite and a NaN
 * becomes a quiet NaN with the same payload and sign. */
float* KMIeeeHalfToFloat32Array(float* out, const KMFLOAT16* in, uint32_t n);

/* ---- Noise (not dispatched) ------------------------------------------ */

/* Gradient noise of period 256 on each axis, 0 at every lattice point, with a continuous first
 * derivative. A non-finite coordinate gives NaN. */
float KMPerlinNoise3(const KMVECTOR3* point);
/* The same function under its earlier name. */
float PerlinNoise3(const KMVECTOR3* point);

/* ---- View and projection builders (not dispatched) ------------------- */

/* Left-handed builders look down +z, right-handed ones down -z: view depth zn (or -zn) maps to
 * 0 and zf (or -zf) to 1 after the divide by w, which the perspective builders set to z (or -z).
 * Angles are radians; nothing is validated, degenerate arguments give IEEE results. */

/* View matrix with the camera at eye looking at at; only the direction of up across the
 * forward axis matters. */
KMMATRIX* KMMatrixLookAtLH(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                           const KMVECTOR3* up);
KMMATRIX* KMMatrixLookAtRH(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                           const KMVECTOR3* up);
/* w and h: the view volume's size at the near plane. */
KMMATRIX* KMMatrixPerspectiveLH(KMMATRIX* out, float w, float h, float zn, float zf);
KMMATRIX* KMMatrixPerspectiveRH(KMMATRIX* out, float w, float h, float zn, float zf);
/* fovy: vertical field of view; aspect: width / height. */
KMMATRIX* KMMatrixPerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf);
KMMATRIX* KMMatrixPerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf);
/* l, r, b, t: the view volume's bounds at the near plane. */
KMMATRIX* KMMatrixPerspectiveOffCenterLH(KMMATRIX* out, float l, float r, float b, float t,
                                         float zn, float zf);
KMMATRIX* KMMatrixPerspectiveOffCenterRH(KMMATRIX* out, float l, float r, float b, float t,
                                         float zn, float zf);
KMMATRIX* KMMatrixOrthoLH(KMMATRIX* out, float w, float h, float zn, float zf);
KMMATRIX* KMMatrixOrthoRH(KMMATRIX* out, float w, float h, float zn, float zf);
KMMATRIX* KMMatrixOrthoOffCenterLH(KMMATRIX* out, float l, float r, float b, float t, float zn,
                                   float zf);
KMMATRIX* KMMatrixOrthoOffCenterRH(KMMATRIX* out, float l, float r, float b, float t, float zn,
                                   float zf);

/* ---- Projection to a viewport and back -------------------------------- */

/* The matrices combine as world x view x projection; any of them, and the viewport, may be null
 * (absent). Project maps onto the viewport rectangle and its depth range (normalised device
 * coordinates without a viewport); unproject undoes it. When the combined matrix is singular,
 * unproject transforms by it uninverted. out may be v. */
KMVECTOR3* KMVec3Project(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                         const KMMATRIX* projection, const KMMATRIX* view, const KMMATRIX* world);
KMVECTOR3* KMVec3Unproject(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                           const KMMATRIX* projection, const KMMATRIX* view, const KMMATRIX* world);
/* Strided forms: element i at base + i * stride; the viewport is folded into the matrix. */
KMVECTOR3* KMVec3ProjectArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                              uint32_t v_stride, const KMVIEWPORT* viewport,
                              const KMMATRIX* projection, const KMMATRIX* view,
                              const KMMATRIX* world, uint32_t n);
KMVECTOR3* KMVec3UnprojectArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                uint32_t v_stride, const KMVIEWPORT* viewport,
                                const KMMATRIX* projection, const KMMATRIX* view,
                                const KMMATRIX* world, uint32_t n);

/* ---- Geometry pipeline ---------------------------------------------- */

/* Blends vertex_count vertices of `stride` bytes. Each vertex's position (three floats at offset
 * 0) becomes the sum over its influences of weight x KMVec3TransformCoord(position, bone matrix),
 * and each normal stream the sum of weight x KMVec3TransformNormal(normal, normal bone matrix);
 * normal_matrices null means the position matrices. At most 65 normal streams are blended; any
 * further ones are left untouched. Influences: per vertex a run of entries 2 x bone + weight
 * (weight in [0, 2)) ended by one negative or NaN entry. The bytes from copy_offset to the stride
 * are copied from source to destination, before the blended values are written when copy_first
 * is nonzero, after them otherwise. Every pointer in source_normals and destination_normals is
 * advanced by vertex_count x stride. */
void KMSkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                        const void* source, void* destination, uint32_t vertex_count,
                        uint32_t stride, const KMVECTOR3** source_normals,
                        KMVECTOR3** destination_normals, uint32_t normal_stream_count,
                        uint32_t copy_offset, const float* influences, int32_t copy_first);
/* Evaluates the cubic PN triangle of the three corners and their normals (normals[0..2], used as
 * given) at sample_count (u, v) pairs: v weighs corner 0, w = 1 - u - v corner 1, u corner 2.
 * Writes one vertex of vertex_size floats (3 to 68; other sizes write nothing) per sample,
 * packed: the patch position, then every further float interpolated linearly. */
void KMNPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                        float* output, const float* corner0, const float* corner1,
                        const float* corner2, uint32_t vertex_size);
/* The earlier names of the two operations above: the same operations, through
 * the same slots. */
void SkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                      const void* source, void* destination, uint32_t vertex_count, uint32_t stride,
                      const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
                      uint32_t normal_stream_count, uint32_t copy_offset, const float* influences,
                      int32_t copy_first);
void NPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, uint32_t vertex_size);

/* ---- Implementation selection --------------------------------------- */

/* The name of the implementation family the dispatched operations are bound
 * to: "reference", "x87", "sse", "sse2", "3dnow", "avx2" or "avx512" on
 * x86-64, "reference" or "neon" on 64-bit ARM (the names KUBIK_MATH_FAMILY
 * accepts). Binds them first when no dispatched operation has been called
 * yet. The string is static. */
const char* KMGetImplementationFamily(void);

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

inline KMQUATERNION KMQUATERNION::operator*(const KMQUATERNION& p) const {
  KMQUATERNION product;
  KMQuaternionMultiply(&product, this, &p);
  return product;
}

inline KMQUATERNION& KMQUATERNION::operator*=(const KMQUATERNION& p) {
  KMQuaternionMultiply(this, this, &p);
  return *this;
}

/* Scalar on the left. */
inline KMVECTOR2 operator*(float f, const KMVECTOR2& v) {
  return v * f;
}
inline KMVECTOR3 operator*(float f, const KMVECTOR3& v) {
  return v * f;
}
inline KMVECTOR4 operator*(float f, const KMVECTOR4& v) {
  return v * f;
}
inline KMQUATERNION operator*(float f, const KMQUATERNION& q) {
  return q * f;
}
inline KMPLANE operator*(float f, const KMPLANE& p) {
  return p * f;
}
inline KMCOLOR operator*(float f, const KMCOLOR& c) {
  return c * f;
}

/* 1 + v would be pointer arithmetic on the float-pointer conversion. */
void operator+(int, const KMVECTOR2&) = delete;
void operator+(int, const KMVECTOR3&) = delete;
void operator+(int, const KMVECTOR4&) = delete;
#endif

#undef KM_DOUBLE_
#undef KM_FLOAT_

#endif /* KUBIK_KMATH_H */
