// The 3DNow!/AMD family's accepted error per operation, in units of 2^-24
// times the magnitude rounding can reach (math/dispatch/family_bounds.h).
#pragma once

#include "math/dispatch/family_bounds.h"

// Single-precision pairs; reciprocals and reciprocal square roots from the
// estimates and their refinement steps; sines and cosines from the packed
// kernels (absolute error about 3e-7); half conversion one unit apart from
// the reference within a float rounding step of a subnormal halfway point.
#define KUBIK_3DNOW_BOUNDS(X)            \
  X(KMVec2Transform, 4)                  \
  X(KMVec3Transform, 4)                  \
  X(KMVec4Transform, 4)                  \
  X(KMMatrixMultiply, 4)                 \
  X(KMMatrixMultiplyTranspose, 4)        \
  X(KMVec2TransformNormal, 3)            \
  X(KMVec3TransformNormal, 4)            \
  X(KMVec3Normalize, 1.5)                \
  X(KMVec4Normalize, 1.5)                \
  X(KMVec2TransformCoord, 3)             \
  X(KMVec3TransformCoord, 3)             \
  X(KMMatrixDeterminant, 6)              \
  X(KMPlaneFromPointNormal, 3)           \
  X(KMPlaneFromPoints, 2)                \
  X(KMVec3Project, 1.5)                  \
  X(KMVec3Unproject, 1)                  \
  X(KMVec4Cross, 4)                      \
  X(KMVec2Hermite, 6)                    \
  X(KMMatrixInverse, 6)                  \
  X(KMQuaternionMultiply, 4)             \
  X(KMQuaternionNormalize, 3)            \
  X(KMPlaneNormalize, 4)                 \
  X(KMPlaneIntersectLine, 3)             \
  X(KMQuaternionToAxisAngle, 3)          \
  X(KMQuaternionRotationMatrix, 2)       \
  X(KMQuaternionRotationYawPitchRoll, 6) \
  X(KMMatrixTranslation, 1)              \
  X(KMMatrixShadow, 6)                   \
  X(KMMatrixReflect, 8)                  \
  X(KMQuaternionRotationAxis, 6)         \
  X(KMMatrixRotationX, 6)                \
  X(KMMatrixRotationY, 6)                \
  X(KMMatrixRotationZ, 6)                \
  X(KMMatrixScaling, 1)                  \
  X(KMPlaneTransform, 4)                 \
  X(KMQuaternionSlerp, 4)                \
  X(KMQuaternionBaryCentric, 4)          \
  X(KMMatrixTranspose, 1)                \
  X(KMMatrixRotationQuaternion, 4)       \
  X(KMMatrixRotationYawPitchRoll, 6)     \
  X(KMMatrixAffineTransformation, 6)     \
  X(KMMatrixRotationAxis, 6)             \
  X(KMQuaternionSquad, 6)                \
  X(KMQuaternionInverse, 4)              \
  X(KMQuaternionSquadSetup, 2)           \
  X(KMVec2Normalize, 1.5)                \
  X(KMVec2CatmullRom, 6)                 \
  X(KMVec2BaryCentric, 4)                \
  X(KMVec3Hermite, 6)                    \
  X(KMVec3CatmullRom, 6)                 \
  X(KMVec3BaryCentric, 6)                \
  X(KMVec4Hermite, 6)                    \
  X(KMVec4CatmullRom, 6)                 \
  X(KMVec4BaryCentric, 4)                \
  X(KMQuaternionLn, 3)                   \
  X(KMQuaternionExp, 6)                  \
  X(KMFloat32To16Array, 1.5)             \
  X(KMFloat16To32Array, 1)               \
  X(KMVec2TransformArray, 4)             \
  X(KMVec2TransformCoordArray, 3)        \
  X(KMVec2TransformNormalArray, 3)       \
  X(KMVec3TransformArray, 4)             \
  X(KMVec3TransformCoordArray, 4)        \
  X(KMVec3TransformNormalArray, 4)       \
  X(KMVec4TransformArray, 3)             \
  X(KMVec3ProjectArray, 4)               \
  X(KMPlaneTransformArray, 4)            \
  X(KMMatrixTransformation2D, 8)         \
  X(KMMatrixAffineTransformation2D, 6)

namespace kubik::amd {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_3DNOW_BOUNDS)
}  // namespace kubik::amd
