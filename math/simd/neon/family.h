// The NEON family: Advanced SIMD with fused multiply-add, which every
// ARMv8-A processor has. Single-precision lanes throughout, IEEE division
// and square root (no estimates), and the reference's guards kept.
#pragma once

#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"

// The slots the family fills, in slot order.
// clang-format off
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
// clang-format on

// Measured error bound of each slot, in units of 2^-24 times the magnitude
// rounding can reach: for a sum of products (transforms, products, plane
// and quaternion products, the yaw-pitch-roll and slerp combinations) the
// sum of the absolute products; for a coordinate transform the absolute
// sums of numerator and w carried through the division; for a normalised
// component the component itself; for the projection array the absolute
// chain |v| |world| |view| |projection| |viewport|. Where no such bound is
// simple the unit is the record's largest component on well-conditioned
// inputs (determinant: the result; inverse: the exact inverse; unprojection,
// skinning and tessellation: the reference's result). Half conversions are
// exact. Figures: 20000 random cases per slot (inputs in [-M, M], M among
// 1e-2, 1, 1e2), run under qemu-aarch64. The shadow and reflection
// builders are the reference's, normalising the plane through this family.
// clang-format off
#define KUBIK_NEON_BOUNDS(X) \
  X(KMVec2Transform, 2) \
  X(KMVec3Transform, 3) \
  X(KMVec4Transform, 3) \
  X(KMMatrixMultiply, 3) \
  X(KMMatrixMultiplyTranspose, 3) \
  X(KMVec2TransformNormal, 2) \
  X(KMVec3TransformNormal, 3) \
  X(KMVec3Normalize, 3) \
  X(KMVec4Normalize, 3) \
  X(KMVec2TransformCoord, 2) \
  X(KMVec3TransformCoord, 3) \
  X(KMMatrixDeterminant, 5) \
  X(KMMatrixInverse, 6) \
  X(KMQuaternionMultiply, 3) \
  X(KMQuaternionNormalize, 3) \
  X(KMPlaneNormalize, 3) \
  X(KMQuaternionRotationYawPitchRoll, 4) \
  X(KMPlaneTransform, 3) \
  X(KMQuaternionSlerp, 3) \
  X(KMMatrixRotationQuaternion, 2) \
  X(KMVec2Normalize, 3) \
  X(KMFloat32To16Array, 0) \
  X(KMFloat16To32Array, 0) \
  X(KMVec2TransformArray, 2) \
  X(KMVec2TransformCoordArray, 2) \
  X(KMVec2TransformNormalArray, 2) \
  X(KMVec3TransformArray, 3) \
  X(KMVec3TransformCoordArray, 3) \
  X(KMVec3TransformNormalArray, 3) \
  X(KMVec4TransformArray, 3) \
  X(KMVec3ProjectArray, 5) \
  X(KMVec3UnprojectArray, 18) \
  X(KMPlaneTransformArray, 4) \
  X(SkinnedMeshBlend, 28) \
  X(NPatchTessellate, 5) \
  X(KMMatrixShadow, 6) \
  X(KMMatrixReflect, 8)
// clang-format on

namespace kubik::neon {

KUBIK_NEON_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_NEON_SLOTS)
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_NEON_BOUNDS)

}  // namespace kubik::neon
