// The SSE and SSE2 families' accepted error per operation, in units of
// 2^-24 times the magnitude rounding can reach
// (math/dispatch/family_bounds.h).
#pragma once

#include "math/dispatch/family_bounds.h"

// Single-precision products and sums: a few roundings per output; the
// reciprocals and reciprocal square roots are refined estimates (about 22
// bits), and the composites that reach these functions through the public
// entries carry their error.
#define KUBIK_SSE_BOUNDS(X)              \
  X(KMVec2Transform, 4)                  \
  X(KMVec3Transform, 3)                  \
  X(KMVec4Transform, 4)                  \
  X(KMMatrixMultiply, 4)                 \
  X(KMMatrixMultiplyTranspose, 4)        \
  X(KMVec2TransformNormal, 3)            \
  X(KMVec3TransformNormal, 4)            \
  X(KMVec3Normalize, 2)                  \
  X(KMVec4Normalize, 2)                  \
  X(KMVec2TransformCoord, 3)             \
  X(KMVec3TransformCoord, 3)             \
  X(KMMatrixDeterminant, 6)              \
  X(KMPlaneFromPoints, 3)                \
  X(KMVec3Project, 2)                    \
  X(KMVec4Cross, 4)                      \
  X(KMVec2Hermite, 6)                    \
  X(KMMatrixInverse, 6)                  \
  X(KMQuaternionMultiply, 4)             \
  X(KMQuaternionNormalize, 2)            \
  X(KMPlaneNormalize, 4)                 \
  X(KMPlaneIntersectLine, 3)             \
  X(KMQuaternionRotationMatrix, 1)       \
  X(KMQuaternionRotationYawPitchRoll, 3) \
  X(KMMatrixShadow, 6)                   \
  X(KMMatrixReflect, 8)                  \
  X(KMPlaneTransform, 3)                 \
  X(KMMatrixRotationYawPitchRoll, 4)     \
  X(KMQuaternionInverse, 6)              \
  X(KMVec2CatmullRom, 6)                 \
  X(KMVec2BaryCentric, 4)                \
  X(KMVec3Hermite, 6)                    \
  X(KMVec3CatmullRom, 6)                 \
  X(KMVec3BaryCentric, 6)                \
  X(KMVec4Hermite, 6)                    \
  X(KMVec4CatmullRom, 6)                 \
  X(KMVec4BaryCentric, 6)                \
  X(KMFloat16To32Array, 1)               \
  X(KMVec2TransformArray, 4)             \
  X(KMVec2TransformCoordArray, 4)        \
  X(KMVec2TransformNormalArray, 3)       \
  X(KMVec3TransformArray, 4)             \
  X(KMVec3TransformCoordArray, 3)        \
  X(KMVec3TransformNormalArray, 4)       \
  X(KMVec4TransformArray, 3)             \
  X(KMVec3ProjectArray, 6)               \
  X(KMPlaneTransformArray, 4)            \
  X(SkinnedMeshBlend, 6)                 \
  X(NPatchTessellate, 8)

// The SSE2 family keeps the reference quaternion inverse.
#define KUBIK_SSE2_BOUNDS(X)             \
  X(KMVec2Transform, 4)                  \
  X(KMVec3Transform, 3)                  \
  X(KMVec4Transform, 4)                  \
  X(KMMatrixMultiply, 4)                 \
  X(KMMatrixMultiplyTranspose, 4)        \
  X(KMVec2TransformNormal, 3)            \
  X(KMVec3TransformNormal, 4)            \
  X(KMVec3Normalize, 2)                  \
  X(KMVec4Normalize, 2)                  \
  X(KMVec2TransformCoord, 3)             \
  X(KMVec3TransformCoord, 3)             \
  X(KMMatrixDeterminant, 6)              \
  X(KMPlaneFromPoints, 3)                \
  X(KMVec3Project, 2)                    \
  X(KMVec4Cross, 4)                      \
  X(KMVec2Hermite, 6)                    \
  X(KMMatrixInverse, 6)                  \
  X(KMQuaternionMultiply, 4)             \
  X(KMQuaternionNormalize, 2)            \
  X(KMPlaneNormalize, 4)                 \
  X(KMPlaneIntersectLine, 3)             \
  X(KMQuaternionRotationMatrix, 1)       \
  X(KMQuaternionRotationYawPitchRoll, 3) \
  X(KMMatrixShadow, 6)                   \
  X(KMMatrixReflect, 8)                  \
  X(KMPlaneTransform, 3)                 \
  X(KMMatrixRotationYawPitchRoll, 4)     \
  X(KMVec2CatmullRom, 6)                 \
  X(KMVec2BaryCentric, 4)                \
  X(KMVec3Hermite, 6)                    \
  X(KMVec3CatmullRom, 6)                 \
  X(KMVec3BaryCentric, 6)                \
  X(KMVec4Hermite, 6)                    \
  X(KMVec4CatmullRom, 6)                 \
  X(KMVec4BaryCentric, 6)                \
  X(KMFloat16To32Array, 1)               \
  X(KMVec2TransformArray, 4)             \
  X(KMVec2TransformCoordArray, 4)        \
  X(KMVec2TransformNormalArray, 3)       \
  X(KMVec3TransformArray, 4)             \
  X(KMVec3TransformCoordArray, 3)        \
  X(KMVec3TransformNormalArray, 4)       \
  X(KMVec4TransformArray, 3)             \
  X(KMVec3ProjectArray, 6)               \
  X(KMPlaneTransformArray, 4)            \
  X(SkinnedMeshBlend, 6)                 \
  X(NPatchTessellate, 8)

namespace kubik::sse {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_SSE_BOUNDS)
}  // namespace kubik::sse

namespace kubik::sse2 {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_SSE2_BOUNDS)
}  // namespace kubik::sse2
