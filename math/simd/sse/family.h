// The SSE family: the slots it fills, its functions and its installer. The
// SSE2 family (math/simd/sse2) shares most of these functions.
#pragma once

#include <cstdint>

#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"

// The slots the SSE2 family fills with the SSE family's functions too.
// clang-format off
#define KUBIK_SSE_SHARED_SLOTS(X) \
  X(KMVec2Transform) \
  X(KMVec3Transform) \
  X(KMVec4Transform) \
  X(KMMatrixMultiply) \
  X(KMMatrixMultiplyTranspose) \
  X(KMVec2TransformNormal) \
  X(KMVec3TransformNormal) \
  X(KMVec3Normalize) \
  X(KMVec4Normalize) \
  X(KMVec2TransformCoord) \
  X(KMVec3TransformCoord) \
  X(KMMatrixDeterminant) \
  X(KMPlaneFromPoints) \
  X(KMVec4Cross) \
  X(KMVec2Hermite) \
  X(KMMatrixInverse) \
  X(KMQuaternionMultiply) \
  X(KMQuaternionNormalize) \
  X(KMPlaneNormalize) \
  X(KMPlaneIntersectLine) \
  X(KMQuaternionRotationMatrix) \
  X(KMMatrixShadow) \
  X(KMMatrixReflect) \
  X(KMPlaneTransform) \
  X(KMVec2CatmullRom) \
  X(KMVec2BaryCentric) \
  X(KMVec3Hermite) \
  X(KMVec3CatmullRom) \
  X(KMVec3BaryCentric) \
  X(KMVec4Hermite) \
  X(KMVec4CatmullRom) \
  X(KMVec4BaryCentric) \
  X(SkinnedMeshBlend) \
  X(NPatchTessellate)
// clang-format on

// The strided array transforms: the same code in both families, with each
// family's batch threshold.
// clang-format off
#define KUBIK_SSE_ARRAY_SLOTS(X) \
  X(KMVec2TransformArray) \
  X(KMVec2TransformCoordArray) \
  X(KMVec2TransformNormalArray) \
  X(KMVec3TransformArray) \
  X(KMVec3TransformCoordArray) \
  X(KMVec3TransformNormalArray) \
  X(KMVec4TransformArray) \
  X(KMPlaneTransformArray)
// clang-format on

// The slots only the SSE family fills with these functions.
#define KUBIK_SSE_OWN_SLOTS(X) \
  X(KMQuaternionRotationYawPitchRoll) X(KMQuaternionInverse) X(KMFloat16To32Array)

#define KUBIK_SSE_SLOTS(X) KUBIK_SSE_SHARED_SLOTS(X) KUBIK_SSE_OWN_SLOTS(X) KUBIK_SSE_ARRAY_SLOTS(X)

// The accepted error per slot (math/dispatch/family_bounds.h): products and
// sums in single precision, a few roundings per output; reciprocals and
// reciprocal square roots are refined estimates (about 22 bits); the
// composites that reach these functions through the public entries carry
// their error.
// clang-format off
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

// clang-format on

namespace kubik::sse {

// The array transforms for one batch threshold: arrays of more than
// kThreshold elements go four at a time, the rest one at a time. Both
// families instantiate them, each with its own threshold.
template <std::uint32_t kThreshold>
struct ArrayTransforms {
  KUBIK_SSE_ARRAY_SLOTS(KUBIK_DECLARE_STATIC_SLOT_FUNCTION)
};
inline constexpr std::uint32_t kBatchAbove = 12;

KUBIK_SSE_SHARED_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_SSE_OWN_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
#define KUBIK_SSE_ARRAY_TRANSFORM(name) \
  inline constexpr auto& name = ArrayTransforms<kBatchAbove>::name;
KUBIK_SSE_ARRAY_SLOTS(KUBIK_SSE_ARRAY_TRANSFORM)
#undef KUBIK_SSE_ARRAY_TRANSFORM
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_SSE_SLOTS)
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_SSE_BOUNDS)

// Sines and cosines of four angles (radians). All three addresses are
// 16-byte aligned. Meaningful while |x| * 2/pi stays below 2^23; absolute
// error about 8e-8 for |x| <= 1000. This form does the quadrant arithmetic
// lane by lane through the stack.
void PackedSineCosine(const float* angles, float* sines, float* cosines);

}  // namespace kubik::sse
