// The one list of dispatched operations, in slot order:
//   X(slot, name, result, (parameters), (arguments))
// The slot enum, the table members, the public entries, the first-call stubs
// and the reference table are all generated from it, so a slot cannot drift
// from its signature. An operation is listed once it is built.
#pragma once

#include <kubik/kmath.h>

#define KUBIK_DISPATCHED_OPERATIONS(X)                                                             \
  X(3, KMMatrixMultiply, KMMATRIX*, (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2),      \
    (out, m1, m2))                                                                                 \
  X(4, KMMatrixMultiplyTranspose, KMMATRIX*,                                                       \
    (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2), (out, m1, m2))                       \
  X(7, KMVec3Normalize, KMVECTOR3*, (KMVECTOR3 * out, const KMVECTOR3* v), (out, v))               \
  X(8, KMVec4Normalize, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v), (out, v))               \
  X(11, KMMatrixDeterminant, float, (const KMMATRIX* m), (m))                                      \
  X(18, KMMatrixInverse, KMMATRIX*, (KMMATRIX * out, float* determinant, const KMMATRIX* m),       \
    (out, determinant, m))                                                                         \
  X(19, KMQuaternionMultiply, KMQUATERNION*,                                                       \
    (KMQUATERNION * out, const KMQUATERNION* q1, const KMQUATERNION* q2), (out, q1, q2))           \
  X(20, KMQuaternionNormalize, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q),         \
    (out, q))                                                                                      \
  X(21, KMPlaneNormalize, KMPLANE*, (KMPLANE * out, const KMPLANE* plane), (out, plane))           \
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
  X(55, KMQuaternionLn, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q), (out, q))      \
  X(56, KMQuaternionExp, KMQUATERNION*, (KMQUATERNION * out, const KMQUATERNION* q), (out, q))     \
  X(71, KMMatrixTransformation2D, KMMATRIX*,                                                       \
    (KMMATRIX * out, const KMVECTOR2* scaling_centre, float scaling_rotation,                      \
     const KMVECTOR2* scaling, const KMVECTOR2* rotation_centre, float rotation,                   \
     const KMVECTOR2* translation),                                                                \
    (out, scaling_centre, scaling_rotation, scaling, rotation_centre, rotation, translation))      \
  X(72, KMMatrixAffineTransformation2D, KMMATRIX*,                                                 \
    (KMMATRIX * out, float scaling, const KMVECTOR2* rotation_centre, float rotation,              \
     const KMVECTOR2* translation),                                                                \
    (out, scaling, rotation_centre, rotation, translation))
