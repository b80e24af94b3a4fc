// The one list of dispatched operations, in slot order:
//   X(slot, name, result, (parameters), (arguments))
// The slot enum, the table members, the public entries, the first-call stubs
// and the reference table are all generated from it, so a slot cannot drift
// from its signature. An operation is listed once it is built.
#pragma once

#include <kubik/kmath.h>

#define KUBIK_DISPATCHED_OPERATIONS(X)                                                            \
  X(3, KMMatrixMultiply, KMMATRIX*, (KMMATRIX * out, const KMMATRIX* m1, const KMMATRIX* m2),     \
    (out, m1, m2))                                                                                \
  X(7, KMVec3Normalize, KMVECTOR3*, (KMVECTOR3 * out, const KMVECTOR3* v), (out, v))              \
  X(8, KMVec4Normalize, KMVECTOR4*, (KMVECTOR4 * out, const KMVECTOR4* v), (out, v))              \
  X(21, KMPlaneNormalize, KMPLANE*, (KMPLANE * out, const KMPLANE* plane), (out, plane))          \
  X(25, KMQuaternionRotationYawPitchRoll, KMQUATERNION*,                                          \
    (KMQUATERNION * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))            \
  X(26, KMMatrixTranslation, KMMATRIX*, (KMMATRIX * out, float x, float y, float z),              \
    (out, x, y, z))                                                                               \
  X(38, KMMatrixRotationQuaternion, KMMATRIX*, (KMMATRIX * out, const KMQUATERNION* q), (out, q)) \
  X(40, KMMatrixRotationYawPitchRoll, KMMATRIX*,                                                  \
    (KMMATRIX * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))                \
  X(46, KMVec2Normalize, KMVECTOR2*, (KMVECTOR2 * out, const KMVECTOR2* v), (out, v))
