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
#endif
} KMVECTOR2;

typedef struct KMVECTOR3 {
  float x, y, z;
#ifdef __cplusplus
  KMVECTOR3() = default;
  KMVECTOR3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
#endif
} KMVECTOR3;

typedef struct KMVECTOR4 {
  float x, y, z, w;
#ifdef __cplusplus
  KMVECTOR4() = default;
  KMVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
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

/* ---- Half precision -------------------------------------------------- */

/* Rounds n floats to halves, to nearest with ties to even; magnitudes from 131040 up, infinities
 * and NaNs saturate to +-131008. Below 2^-14 the bits under the denormal grid are dropped before
 * rounding. Integer-only, so the result is exact and independent of the FPU mode. */
KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n);
/* Widens n halves to floats, exactly. */
float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n);

/* ---- Noise (not dispatched) ------------------------------------------ */

/* Gradient noise of period 256 on each axis, 0 at every lattice point, with a continuous first
 * derivative. A non-finite coordinate gives NaN. */
float PerlinNoise3(const KMVECTOR3* point);

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
