// The one list of dispatched operations, in slot order:
//   X(slot, name, result, (parameters), (arguments))
// The slot enum, the table members, the public entries, the first-call stubs
// and the reference table are all generated from it, so a slot cannot drift
// from its signature.
#pragma once

#include <kubik/kmath.h>

#define KUBIK_DISPATCHED_OPERATIONS(X)                                                             \
  X(0, KMVec2Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR2* v, const KMMATRIX* m),      \
    (out, v, m))                                                                                   \
  X(1, KMVec3Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR3* v, const KMMATRIX* m),      \
    (out, v, m))                                                                                   \
  X(2, KMVec4Transform, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v, const KMMATRIX* m),      \
    (out, v, m))                                                                                   \
  X(3, KMMatrixMultiply, KMMATRIX*, (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2),      \
    (out, m1, m2))                                                                                 \
  X(4, KMMatrixMultiplyTranspose, KMMATRIX*,                                                       \
    (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2), (out, m1, m2))                       \
  X(5, KMVec2TransformNormal, KMVECTOR2*,                                                          \
    (KMVECTOR2 * out, const KMVECTOR2* v, const KMMATRIX* m), (out, v, m))                         \
  X(6, KMVec3TransformNormal, KMVECTOR3*,                                                          \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMMATRIX* m), (out, v, m))                         \
  X(7, KMVec3Normalize, KMVECTOR3*, (KMVECTOR3 * out, const KMVECTOR3* v), (out, v))               \
  X(8, KMVec4Normalize, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v), (out, v))               \
  X(9, KMVec2TransformCoord, KMVECTOR2*, (KMVECTOR2 * out, const KMVECTOR2* v, const KMMATRIX* m), \
    (out, v, m))                                                                                   \
  X(10, KMVec3TransformCoord, KMVECTOR3*,                                                          \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMMATRIX* m), (out, v, m))                         \
  X(11, KMMatrixDeterminant, float, (const KMMATRIX* m), (m))                                      \
  X(12, KMPlaneFromPointNormal, KMPLANE*,                                                          \
    (KMPLANE * out, const KMVECTOR3* point, const KMVECTOR3* normal), (out, point, normal))        \
  X(13, KMPlaneFromPoints, KMPLANE*,                                                               \
    (KMPLANE * out, const KMVECTOR3* v1, const KMVECTOR3* v2, const KMVECTOR3* v3),                \
    (out, v1, v2, v3))                                                                             \
  X(14, KMVec3Project, KMVECTOR3*,                                                                 \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMVIEWPORT* viewport, const KMMATRIX* projection,  \
     const KMMATRIX* view, const KMMATRIX* world),                                                 \
    (out, v, viewport, projection, view, world))                                                   \
  X(15, KMVec3Unproject, KMVECTOR3*,                                                               \
    (KMVECTOR3 * out, const KMVECTOR3* v, const KMVIEWPORT* viewport, const KMMATRIX* projection,  \
     const KMMATRIX* view, const KMMATRIX* world),                                                 \
    (out, v, viewport, projection, view, world))                                                   \
  X(16, KMVec4Cross, KMVECTOR4*,                                                                   \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* v2, const KMVECTOR4* v3),              \
    (out, v1, v2, v3))                                                                             \
  X(17, KMVec2Hermite, KMVECTOR2*,                                                                 \
    (KMVECTOR2 * out, const KMVECTOR2* v1, const KMVECTOR2* t1, const KMVECTOR2* v2,               \
     const KMVECTOR2* t2, float s),                                                                \
    (out, v1, t1, v2, t2, s))                                                                      \
  X(18, KMMatrixInverse, KMMATRIX*, (KMMATRIX * out, float* determinant, const KMMATRIX* m),       \
    (out, determinant, m))                                                                         \
  X(19, KMQuaternionMultiply, KMQUATERNION*,                                                       \
    (KMQUATERNION * out, const KMQUATERNION* q1, const KMQUATERNION* q2), (out, q1, q2))           \
  X(20, KMQuaternionNormalize, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q),         \
    (out, q))                                                                                      \
  X(21, KMPlaneNormalize, KMPLANE*, (KMPLANE * out, const KMPLANE* plane), (out, plane))           \
  X(22, KMPlaneIntersectLine, KMVECTOR3*,                                                          \
    (KMVECTOR3 * out, const KMPLANE* plane, const KMVECTOR3* v1, const KMVECTOR3* v2),             \
    (out, plane, v1, v2))                                                                          \
  X(23, KMQuaternionToAxisAngle, void, (const KMQUATERNION* q, KMVECTOR3* axis, float* angle),     \
    (q, axis, angle))                                                                              \
  X(24, KMQuaternionRotationMatrix, KMQUATERNION*, (KMQUATERNION * out, const KMMATRIX* m),        \
    (out, m))                                                                                      \
  X(25, KMQuaternionRotationYawPitchRoll, KMQUATERNION*,                                           \
    (KMQUATERNION * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))             \
  X(26, KMMatrixTranslation, KMMATRIX*, (KMMATRIX * out, float x, float y, float z),               \
    (out, x, y, z))                                                                                \
  X(27, KMMatrixShadow, KMMATRIX*, (KMMATRIX * out, const KMVECTOR4* light, const KMPLANE* plane), \
    (out, light, plane))                                                                           \
  X(28, KMMatrixReflect, KMMATRIX*, (KMMATRIX * out, const KMPLANE* plane), (out, plane))          \
  X(29, KMQuaternionRotationAxis, KMQUATERNION*,                                                   \
    (KMQUATERNION * out, const KMVECTOR3* axis, float angle), (out, axis, angle))                  \
  X(30, KMMatrixRotationX, KMMATRIX*, (KMMATRIX * out, float angle), (out, angle))                 \
  X(31, KMMatrixRotationY, KMMATRIX*, (KMMATRIX * out, float angle), (out, angle))                 \
  X(32, KMMatrixRotationZ, KMMATRIX*, (KMMATRIX * out, float angle), (out, angle))                 \
  X(33, KMMatrixScaling, KMMATRIX*, (KMMATRIX * out, float sx, float sy, float sz),                \
    (out, sx, sy, sz))                                                                             \
  X(34, KMPlaneTransform, KMPLANE*, (KMPLANE * out, const KMPLANE* plane, const KMMATRIX* m),      \
    (out, plane, m))                                                                               \
  X(35, KMQuaternionSlerp, KMQUATERNION*,                                                          \
    (KMQUATERNION * out, const KMQUATERNION* q1, const KMQUATERNION* q2, float t),                 \
    (out, q1, q2, t))                                                                              \
  X(36, KMQuaternionBaryCentric, KMQUATERNION*,                                                    \
    (KMQUATERNION * out, const KMQUATERNION* q1, const KMQUATERNION* q2, const KMQUATERNION* q3,   \
     float f, float g),                                                                            \
    (out, q1, q2, q3, f, g))                                                                       \
  X(37, KMMatrixTranspose, KMMATRIX*, (KMMATRIX * out, const KMMATRIX* m), (out, m))               \
  X(38, KMMatrixRotationQuaternion, KMMATRIX*, (KMMATRIX * out, const KMQUATERNION* q), (out, q))  \
  X(39, KMMatrixTransformation, KMMATRIX*,                                                         \
    (KMMATRIX * out, const KMVECTOR3* scaling_centre, const KMQUATERNION* scaling_rotation,        \
     const KMVECTOR3* scaling, const KMVECTOR3* rotation_centre, const KMQUATERNION* rotation,     \
     const KMVECTOR3* translation),                                                                \
    (out, scaling_centre, scaling_rotation, scaling, rotation_centre, rotation, translation))      \
  X(40, KMMatrixRotationYawPitchRoll, KMMATRIX*,                                                   \
    (KMMATRIX * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))                 \
  X(41, KMMatrixAffineTransformation, KMMATRIX*,                                                   \
    (KMMATRIX * out, float scaling, const KMVECTOR3* rotation_centre,                              \
     const KMQUATERNION* rotation, const KMVECTOR3* translation),                                  \
    (out, scaling, rotation_centre, rotation, translation))                                        \
  X(42, KMMatrixRotationAxis, KMMATRIX*, (KMMATRIX * out, const KMVECTOR3* axis, float angle),     \
    (out, axis, angle))                                                                            \
  X(43, KMQuaternionSquad, KMQUATERNION*,                                                          \
    (KMQUATERNION * out, const KMQUATERNION* q1, const KMQUATERNION* a, const KMQUATERNION* b,     \
     const KMQUATERNION* c, float t),                                                              \
    (out, q1, a, b, c, t))                                                                         \
  X(44, KMQuaternionInverse, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q), (out, q)) \
  X(45, KMQuaternionSquadSetup, void,                                                              \
    (KMQUATERNION * a_out, KMQUATERNION * b_out, KMQUATERNION * c_out, const KMQUATERNION* q0,     \
     const KMQUATERNION* q1, const KMQUATERNION* q2, const KMQUATERNION* q3),                      \
    (a_out, b_out, c_out, q0, q1, q2, q3))                                                         \
  X(46, KMVec2Normalize, KMVECTOR2*, (KMVECTOR2 * out, const KMVECTOR2* v), (out, v))              \
  X(47, KMVec2CatmullRom, KMVECTOR2*,                                                              \
    (KMVECTOR2 * out, const KMVECTOR2* v0, const KMVECTOR2* v1, const KMVECTOR2* v2,               \
     const KMVECTOR2* v3, float s),                                                                \
    (out, v0, v1, v2, v3, s))                                                                      \
  X(48, KMVec2BaryCentric, KMVECTOR2*,                                                             \
    (KMVECTOR2 * out, const KMVECTOR2* v1, const KMVECTOR2* v2, const KMVECTOR2* v3, float f,      \
     float g),                                                                                     \
    (out, v1, v2, v3, f, g))                                                                       \
  X(49, KMVec3Hermite, KMVECTOR3*,                                                                 \
    (KMVECTOR3 * out, const KMVECTOR3* v1, const KMVECTOR3* t1, const KMVECTOR3* v2,               \
     const KMVECTOR3* t2, float s),                                                                \
    (out, v1, t1, v2, t2, s))                                                                      \
  X(50, KMVec3CatmullRom, KMVECTOR3*,                                                              \
    (KMVECTOR3 * out, const KMVECTOR3* v0, const KMVECTOR3* v1, const KMVECTOR3* v2,               \
     const KMVECTOR3* v3, float s),                                                                \
    (out, v0, v1, v2, v3, s))                                                                      \
  X(51, KMVec3BaryCentric, KMVECTOR3*,                                                             \
    (KMVECTOR3 * out, const KMVECTOR3* v1, const KMVECTOR3* v2, const KMVECTOR3* v3, float f,      \
     float g),                                                                                     \
    (out, v1, v2, v3, f, g))                                                                       \
  X(52, KMVec4Hermite, KMVECTOR4*,                                                                 \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* t1, const KMVECTOR4* v2,               \
     const KMVECTOR4* t2, float s),                                                                \
    (out, v1, t1, v2, t2, s))                                                                      \
  X(53, KMVec4CatmullRom, KMVECTOR4*,                                                              \
    (KMVECTOR4 * out, const KMVECTOR4* v0, const KMVECTOR4* v1, const KMVECTOR4* v2,               \
     const KMVECTOR4* v3, float s),                                                                \
    (out, v0, v1, v2, v3, s))                                                                      \
  X(54, KMVec4BaryCentric, KMVECTOR4*,                                                             \
    (KMVECTOR4 * out, const KMVECTOR4* v1, const KMVECTOR4* v2, const KMVECTOR4* v3, float f,      \
     float g),                                                                                     \
    (out, v1, v2, v3, f, g))                                                                       \
  X(55, KMQuaternionLn, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q), (out, q))      \
  X(56, KMQuaternionExp, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q), (out, q))     \
  X(57, KMFloat32To16Array, KMFLOAT16*, (KMFLOAT16 * out, const float* in, uint32_t n),            \
    (out, in, n))                                                                                  \
  X(58, KMFloat16To32Array, float*, (float* out, const KMFLOAT16* in, uint32_t n), (out, in, n))   \
  X(59, KMVec2TransformArray, KMVECTOR4*,                                                          \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(60, KMVec2TransformCoordArray, KMVECTOR2*,                                                     \
    (KMVECTOR2 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(61, KMVec2TransformNormalArray, KMVECTOR2*,                                                    \
    (KMVECTOR2 * out, uint32_t out_stride, const KMVECTOR2* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(62, KMVec3TransformArray, KMVECTOR4*,                                                          \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(63, KMVec3TransformCoordArray, KMVECTOR3*,                                                     \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(64, KMVec3TransformNormalArray, KMVECTOR3*,                                                    \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(65, KMVec4TransformArray, KMVECTOR4*,                                                          \
    (KMVECTOR4 * out, uint32_t out_stride, const KMVECTOR4* v, uint32_t v_stride,                  \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, v, v_stride, m, n))                                                          \
  X(66, KMVec3ProjectArray, KMVECTOR3*,                                                            \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                  \
     const KMVIEWPORT* viewport, const KMMATRIX* projection, const KMMATRIX* view,                 \
     const KMMATRIX* world, uint32_t n),                                                           \
    (out, out_stride, v, v_stride, viewport, projection, view, world, n))                          \
  X(67, KMVec3UnprojectArray, KMVECTOR3*,                                                          \
    (KMVECTOR3 * out, uint32_t out_stride, const KMVECTOR3* v, uint32_t v_stride,                  \
     const KMVIEWPORT* viewport, const KMMATRIX* projection, const KMMATRIX* view,                 \
     const KMMATRIX* world, uint32_t n),                                                           \
    (out, out_stride, v, v_stride, viewport, projection, view, world, n))                          \
  X(68, KMPlaneTransformArray, KMPLANE*,                                                           \
    (KMPLANE * out, uint32_t out_stride, const KMPLANE* plane, uint32_t plane_stride,              \
     const KMMATRIX* m, uint32_t n),                                                               \
    (out, out_stride, plane, plane_stride, m, n))                                                  \
  X(69, SkinnedMeshBlend, void,                                                                    \
    (const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices, const void* source,       \
     void* destination, uint32_t vertex_count, uint32_t stride, const KMVECTOR3** source_normals,  \
     KMVECTOR3** destination_normals, uint32_t normal_stream_count, uint32_t copy_offset,          \
     const float* influences, int32_t copy_first),                                                 \
    (position_matrices, normal_matrices, source, destination, vertex_count, stride,                \
     source_normals, destination_normals, normal_stream_count, copy_offset, influences,            \
     copy_first))                                                                                  \
  X(70, NPatchTessellate, void,                                                                    \
    (const KMVECTOR3* normals, const float* samples, uint32_t sample_count, float* output,         \
     const float* corner0, const float* corner1, const float* corner2, uint32_t vertex_size),      \
    (normals, samples, sample_count, output, corner0, corner1, corner2, vertex_size))              \
  X(71, KMMatrixTransformation2D, KMMATRIX*,                                                       \
    (KMMATRIX * out, const KMVECTOR2* scaling_centre, float scaling_rotation,                      \
     const KMVECTOR2* scaling, const KMVECTOR2* rotation_centre, float rotation,                   \
     const KMVECTOR2* translation),                                                                \
    (out, scaling_centre, scaling_rotation, scaling, rotation_centre, rotation, translation))      \
  X(72, KMMatrixAffineTransformation2D, KMMATRIX*,                                                 \
    (KMMATRIX * out, float scaling, const KMVECTOR2* rotation_centre, float rotation,              \
     const KMVECTOR2* translation),                                                                \
    (out, scaling, rotation_centre, rotation, translation))
