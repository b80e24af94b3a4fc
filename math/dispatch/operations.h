// The one list of dispatched operations, in slot order:
//   X(slot, name, result, (parameters), (arguments))
// The slot enum, the table members, the public entries, the first-call stubs
// and the reference table are all generated from it, so a slot cannot drift
// from its signature. An operation is listed once it is built.
#pragma once

#include <kubik/kmath.h>

#define KUBIK_DISPATCHED_OPERATIONS(X)                                                            \
  X(0, KMVec2Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR2* v, const KMMATRIX* m),     \
    (out, v, m))                                                                                  \
  X(1, KMVec3Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR3* v, const KMMATRIX* m),     \
    (out, v, m))                                                                                  \
  X(2, KMVec4Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v, const KMMATRIX* m),     \
    (out, v, m))                                                                                  \
  X(3, KMMatrixMultiply, KMMATRIX*, (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2),     \
    (out, m1, m2))                                                                                \
  X(5, KMVec2TransformNormal, KMVECTOR2*,                                                         \
    (KMVECTOR2 * out, const KMVECTOR2* v, const KMMATRIX* m), (out, v, m))                        \
  X(6, KMVec3TransformNormal, KMVECTOR3*,                                                         \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMMATRIX* m), (out, v, m))                        \
  X(7, KMVec3Normalize, KMVECTOR3*, (KMVECTOR3 * out, const KMVECTOR3* v), (out, v))              \
  X(8, KMVec4Normalize, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v), (out, v))              \
  X(9, KMVec2TransformCoord, KMVECTOR2*,                                                          \
    (KMVECTOR2 * out, const KMVECTOR2* v, const KMMATRIX* m), (out, v, m))                        \
  X(10, KMVec3TransformCoord, KMVECTOR3*,                                                         \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMMATRIX* m), (out, v, m))                        \
  X(12, KMPlaneFromPointNormal, KMPLANE*,                                                         \
    (KMPLANE * out, const KMVECTOR3* point, const KMVECTOR3* normal), (out, point, normal))       \
  X(13, KMPlaneFromPoints, KMPLANE*,                                                              \
    (KMPLANE * out, const KMVECTOR3* v1, const KMVECTOR3* v2, const KMVECTOR3* v3),               \
    (out, v1, v2, v3))                                                                            \
  X(16, KMVec4Cross, KMVECTOR4*,                                                                  \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* v2, const KMVECTOR4* v3),             \
    (out, v1, v2, v3))                                                                            \
  X(17, KMVec2Hermite, KMVECTOR2*,                                                                \
    (KMVECTOR2 * out, const KMVECTOR2* v1, const KMVECTOR2* t1,                                   \
     const KMVECTOR2* v2, const KMVECTOR2* t2, float s),                                          \
    (out, v1, t1, v2, t2, s))                                                                     \
  X(21, KMPlaneNormalize, KMPLANE*, (KMPLANE * out, const KMPLANE* plane), (out, plane))          \
  X(22, KMPlaneIntersectLine, KMVECTOR3*,                                                         \
    (KMVECTOR3 * out, const KMPLANE* plane, const KMVECTOR3* v1, const KMVECTOR3* v2),            \
    (out, plane, v1, v2))                                                                         \
  X(25, KMQuaternionRotationYawPitchRoll, KMQUATERNION*,                                          \
    (KMQUATERNION * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))            \
  X(26, KMMatrixTranslation, KMMATRIX*, (KMMATRIX * out, float x, float y, float z),              \
    (out, x, y, z))                                                                               \
  X(34, KMPlaneTransform, KMPLANE*, (KMPLANE * out, const KMPLANE* plane, const KMMATRIX* m),     \
    (out, plane, m))                                                                              \
  X(38, KMMatrixRotationQuaternion, KMMATRIX*, (KMMATRIX * out, const KMQUATERNION* q), (out, q)) \
  X(40, KMMatrixRotationYawPitchRoll, KMMATRIX*,                                                  \
    (KMMATRIX * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))                \
  X(46, KMVec2Normalize, KMVECTOR2*, (KMVECTOR2 * out, const KMVECTOR2* v), (out, v))             \
  X(47, KMVec2CatmullRom, KMVECTOR2*,                                                             \
    (KMVECTOR2 * out, const KMVECTOR2* v0, const KMVECTOR2* v1,                                   \
     const KMVECTOR2* v2, const KMVECTOR2* v3, float s),                                          \
    (out, v0, v1, v2, v3, s))                                                                     \
  X(48, KMVec2BaryCentric, KMVECTOR2*,                                                            \
    (KMVECTOR2 * out, const KMVECTOR2* v1, const KMVECTOR2* v2,                                   \
     const KMVECTOR2* v3, float f, float g),                                                      \
    (out, v1, v2, v3, f, g))                                                                      \
  X(49, KMVec3Hermite, KMVECTOR3*,                                                                \
    (KMVECTOR3 * out, const KMVECTOR3* v1, const KMVECTOR3* t1,                                   \
     const KMVECTOR3* v2, const KMVECTOR3* t2, float s),                                          \
    (out, v1, t1, v2, t2, s))                                                                     \
  X(50, KMVec3CatmullRom, KMVECTOR3*,                                                             \
    (KMVECTOR3 * out, const KMVECTOR3* v0, const KMVECTOR3* v1,                                   \
     const KMVECTOR3* v2, const KMVECTOR3* v3, float s),                                          \
    (out, v0, v1, v2, v3, s))                                                                     \
  X(51, KMVec3BaryCentric, KMVECTOR3*,                                                            \
    (KMVECTOR3 * out, const KMVECTOR3* v1, const KMVECTOR3* v2,                                   \
     const KMVECTOR3* v3, float f, float g),                                                      \
    (out, v1, v2, v3, f, g))                                                                      \
  X(52, KMVec4Hermite, KMVECTOR4*,                                                                \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* t1,                                   \
     const KMVECTOR4* v2, const KMVECTOR4* t2, float s),                                          \
    (out, v1, t1, v2, t2, s))                                                                     \
  X(53, KMVec4CatmullRom, KMVECTOR4*,                                                             \
    (KMVECTOR4 * out, const KMVECTOR4* v0, const KMVECTOR4* v1,                                   \
     const KMVECTOR4* v2, const KMVECTOR4* v3, float s),                                          \
    (out, v0, v1, v2, v3, s))                                                                     \
  X(54, KMVec4BaryCentric, KMVECTOR4*,                                                            \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* v2,                                   \
     const KMVECTOR4* v3, float f, float g),                                                      \
    (out, v1, v2, v3, f, g))                                                                      \
  X(59, KMVec2TransformArray, KMVECTOR4*,                                                         \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(60, KMVec2TransformCoordArray, KMVECTOR2*,                                                    \
    (KMVECTOR2 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(61, KMVec2TransformNormalArray, KMVECTOR2*,                                                   \
    (KMVECTOR2 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(62, KMVec3TransformArray, KMVECTOR4*,                                                         \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(63, KMVec3TransformCoordArray, KMVECTOR3*,                                                    \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(64, KMVec3TransformNormalArray, KMVECTOR3*,                                                   \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(65, KMVec4TransformArray, KMVECTOR4*,                                                         \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR4* v, uint32_t v_stride,                 \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, v, v_stride, m, n))                                                         \
  X(68, KMPlaneTransformArray, KMPLANE*,                                                          \
    (KMPLANE * out, uint32_t out_stride, const KMPLANE* plane, uint32_t plane_stride,             \
     const KMMATRIX* m, uint32_t n),                                                              \
    (out, out_stride, plane, plane_stride, m, n))
