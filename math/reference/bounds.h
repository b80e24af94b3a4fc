// The reference family's accepted error per operation, in units of 2^-24
// times the magnitude rounding can reach (math/dispatch/family_bounds.h).
#pragma once

#include "math/dispatch/family_bounds.h"

// Double precision, each stored component rounded once: a unit or so,
// more where a composite stores intermediate results as floats (the squad's
// slerps, the transformations' matrices) or goes through the installed
// single-precision functions of the family it runs under (see that family's
// list).
#define KUBIK_REFERENCE_BOUNDS(X)        \
  X(KMVec2Transform, 1.5)                \
  X(KMVec3Transform, 1.5)                \
  X(KMVec4Transform, 1.5)                \
  X(KMMatrixMultiply, 1.5)               \
  X(KMMatrixMultiplyTranspose, 1.5)      \
  X(KMVec2TransformNormal, 1.5)          \
  X(KMVec3TransformNormal, 1.5)          \
  X(KMVec3Normalize, 1)                  \
  X(KMVec4Normalize, 1)                  \
  X(KMVec2TransformCoord, 2)             \
  X(KMVec3TransformCoord, 2)             \
  X(KMMatrixDeterminant, 1.5)            \
  X(KMPlaneFromPointNormal, 1.5)         \
  X(KMPlaneFromPoints, 1.5)              \
  X(KMVec3Project, 1.5)                  \
  X(KMVec3Unproject, 1)                  \
  X(KMVec4Cross, 1.5)                    \
  X(KMVec2Hermite, 1.5)                  \
  X(KMMatrixInverse, 3)                  \
  X(KMQuaternionMultiply, 1.5)           \
  X(KMQuaternionNormalize, 1)            \
  X(KMPlaneNormalize, 1)                 \
  X(KMPlaneIntersectLine, 1.5)           \
  X(KMQuaternionToAxisAngle, 1.5)        \
  X(KMQuaternionRotationMatrix, 1)       \
  X(KMQuaternionRotationYawPitchRoll, 3) \
  X(KMMatrixTranslation, 1)              \
  X(KMMatrixShadow, 1.5)                 \
  X(KMMatrixReflect, 1.5)                \
  X(KMQuaternionRotationAxis, 1.5)       \
  X(KMMatrixRotationX, 1)                \
  X(KMMatrixRotationY, 1)                \
  X(KMMatrixRotationZ, 1)                \
  X(KMMatrixScaling, 1)                  \
  X(KMPlaneTransform, 1.5)               \
  X(KMQuaternionSlerp, 1.5)              \
  X(KMQuaternionBaryCentric, 4)          \
  X(KMMatrixTranspose, 1)                \
  X(KMMatrixRotationQuaternion, 4)       \
  X(KMMatrixTransformation, 6)           \
  X(KMMatrixRotationYawPitchRoll, 3)     \
  X(KMMatrixAffineTransformation, 4)     \
  X(KMMatrixRotationAxis, 1.5)           \
  X(KMQuaternionSquad, 16)               \
  X(KMQuaternionInverse, 1.5)            \
  X(KMQuaternionSquadSetup, 1)           \
  X(KMVec2Normalize, 1)                  \
  X(KMVec2CatmullRom, 1.5)               \
  X(KMVec2BaryCentric, 1.5)              \
  X(KMVec3Hermite, 1.5)                  \
  X(KMVec3CatmullRom, 1.5)               \
  X(KMVec3BaryCentric, 1.5)              \
  X(KMVec4Hermite, 1.5)                  \
  X(KMVec4CatmullRom, 1.5)               \
  X(KMVec4BaryCentric, 1.5)              \
  X(KMQuaternionLn, 1.5)                 \
  X(KMQuaternionExp, 1.5)                \
  X(KMFloat32To16Array, 1)               \
  X(KMFloat16To32Array, 1)               \
  X(KMVec2TransformArray, 1.5)           \
  X(KMVec2TransformCoordArray, 2)        \
  X(KMVec2TransformNormalArray, 1.5)     \
  X(KMVec3TransformArray, 1.5)           \
  X(KMVec3TransformCoordArray, 2)        \
  X(KMVec3TransformNormalArray, 1.5)     \
  X(KMVec4TransformArray, 1.5)           \
  X(KMVec3ProjectArray, 3)               \
  X(KMVec3UnprojectArray, 1)             \
  X(KMPlaneTransformArray, 1.5)          \
  X(SkinnedMeshBlend, 6)                 \
  X(NPatchTessellate, 4)                 \
  X(KMMatrixTransformation2D, 6)         \
  X(KMMatrixAffineTransformation2D, 2)

namespace kubik::reference {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_REFERENCE_BOUNDS)
}  // namespace kubik::reference
