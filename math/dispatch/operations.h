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
  X(25, KMQuaternionRotationYawPitchRoll, KMQUATERNION*,                                          \
    (KMQUATERNION * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))            \
  X(26, KMMatrixTranslation, KMMATRIX*, (KMMATRIX * out, float x, float y, float z),              \
    (out, x, y, z))                                                                               \
  X(38, KMMatrixRotationQuaternion, KMMATRIX*, (KMMATRIX * out, const KMQUATERNION* q), (out, q)) \
  X(40, KMMatrixRotationYawPitchRoll, KMMATRIX*,                                                  \
    (KMMATRIX * out, float yaw, float pitch, float roll), (out, yaw, pitch, roll))                \
  X(57, KMFloat32To16Array, KMFLOAT16*, (KMFLOAT16 * out, const float* in, uint32_t n),           \
    (out, in, n))                                                                                 \
  X(58, KMFloat16To32Array, float*, (float* out, const KMFLOAT16* in, uint32_t n), (out, in, n))
