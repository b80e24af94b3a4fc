// The SSE2 family: the SSE family's functions except in four places. Its
// yaw-pitch-roll builder runs the SSE2 form of the sine-cosine kernel, it
// keeps the reference quaternion inverse, its half-to-float conversion uses
// 128-bit integer lanes, and its array transforms start batching at a lower
// count.
#pragma once

#include <cstdint>

#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"
#include "math/simd/sse/family.h"

#define KUBIK_SSE2_OWN_SLOTS(X) X(KMQuaternionRotationYawPitchRoll) X(KMFloat16To32Array)

#define KUBIK_SSE2_SLOTS(X) \
  KUBIK_SSE_SHARED_SLOTS(X) KUBIK_SSE2_OWN_SLOTS(X) KUBIK_SSE_ARRAY_SLOTS(X)

// The accepted error per slot (math/dispatch/family_bounds.h): the SSE
// family's, and the reference's for the quaternion inverse it keeps.
// clang-format off
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
// clang-format on

namespace kubik::sse2 {

inline constexpr std::uint32_t kBatchAbove = 10;

#define KUBIK_USE_SSE_FUNCTION(name) using ::kubik::sse::name;
KUBIK_SSE_SHARED_SLOTS(KUBIK_USE_SSE_FUNCTION)
#undef KUBIK_USE_SSE_FUNCTION
KUBIK_SSE2_OWN_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
#define KUBIK_SSE2_ARRAY_TRANSFORM(name) \
  inline constexpr auto& name = ::kubik::sse::ArrayTransforms<kBatchAbove>::name;
KUBIK_SSE_ARRAY_SLOTS(KUBIK_SSE2_ARRAY_TRANSFORM)
#undef KUBIK_SSE2_ARRAY_TRANSFORM
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_SSE2_SLOTS)
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_SSE2_BOUNDS)

// The same kernel with the quadrant arithmetic in 128-bit integer registers;
// its results equal the SSE form's bit for bit.
void PackedSineCosine(const float* angles, float* sines, float* cosines);

}  // namespace kubik::sse2
