// The NEON family: Advanced SIMD with fused multiply-add, which every
// ARMv8-A processor has. Single-precision lanes throughout, IEEE division
// and square root (no estimates), and the reference's guards kept.
#pragma once

#include "math/dispatch/family.h"

// The slots the family fills, in slot order.
#define KUBIK_NEON_SLOTS(X)           \
  X(KMVec2Transform)                  \
  X(KMVec3Transform)                  \
  X(KMVec4Transform)                  \
  X(KMMatrixMultiply)                 \
  X(KMMatrixMultiplyTranspose)        \
  X(KMVec2TransformNormal)            \
  X(KMVec3TransformNormal)            \
  X(KMVec3Normalize)                  \
  X(KMVec4Normalize)                  \
  X(KMVec2TransformCoord)             \
  X(KMVec3TransformCoord)             \
  X(KMMatrixDeterminant)              \
  X(KMMatrixInverse)                  \
  X(KMQuaternionMultiply)             \
  X(KMQuaternionNormalize)            \
  X(KMPlaneNormalize)                 \
  X(KMQuaternionRotationYawPitchRoll) \
  X(KMPlaneTransform)                 \
  X(KMQuaternionSlerp)                \
  X(KMMatrixRotationQuaternion)       \
  X(KMVec2Normalize)                  \
  X(KMFloat32To16Array)               \
  X(KMFloat16To32Array)               \
  X(KMVec2TransformArray)             \
  X(KMVec2TransformCoordArray)        \
  X(KMVec2TransformNormalArray)       \
  X(KMVec3TransformArray)             \
  X(KMVec3TransformCoordArray)        \
  X(KMVec3TransformNormalArray)       \
  X(KMVec4TransformArray)             \
  X(KMVec3ProjectArray)               \
  X(KMVec3UnprojectArray)             \
  X(KMPlaneTransformArray)            \
  X(SkinnedMeshBlend)                 \
  X(NPatchTessellate)

// Measured error of each slot against the exact result, in units of 2^-24
// times the magnitude rounding can reach in the slot's arithmetic (for a
// sum of products, the sum of the absolute products; for a quotient or
// normalised component, the result itself). Exact slots are 0.
#define KUBIK_NEON_BOUNDS(X)             \
  X(KMVec2Transform, 2)                  \
  X(KMVec3Transform, 2)                  \
  X(KMVec4Transform, 2)                  \
  X(KMMatrixMultiply, 2)                 \
  X(KMMatrixMultiplyTranspose, 2)        \
  X(KMVec2TransformNormal, 2)            \
  X(KMVec3TransformNormal, 2)            \
  X(KMVec3Normalize, 3)                  \
  X(KMVec4Normalize, 3)                  \
  X(KMVec2TransformCoord, 4)             \
  X(KMVec3TransformCoord, 4)             \
  X(KMMatrixDeterminant, 8)              \
  X(KMMatrixInverse, 8)                  \
  X(KMQuaternionMultiply, 2)             \
  X(KMQuaternionNormalize, 3)            \
  X(KMPlaneNormalize, 3)                 \
  X(KMQuaternionRotationYawPitchRoll, 4) \
  X(KMPlaneTransform, 2)                 \
  X(KMQuaternionSlerp, 8)                \
  X(KMMatrixRotationQuaternion, 3)       \
  X(KMVec2Normalize, 3)                  \
  X(KMFloat32To16Array, 0)               \
  X(KMFloat16To32Array, 0)               \
  X(KMVec2TransformArray, 2)             \
  X(KMVec2TransformCoordArray, 4)        \
  X(KMVec2TransformNormalArray, 2)       \
  X(KMVec3TransformArray, 2)             \
  X(KMVec3TransformCoordArray, 4)        \
  X(KMVec3TransformNormalArray, 2)       \
  X(KMVec4TransformArray, 2)             \
  X(KMVec3ProjectArray, 8)               \
  X(KMVec3UnprojectArray, 16)            \
  X(KMPlaneTransformArray, 2)            \
  X(SkinnedMeshBlend, 4)                 \
  X(NPatchTessellate, 8)

namespace kubik::neon {

KUBIK_NEON_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_NEON_SLOTS)

}  // namespace kubik::neon
