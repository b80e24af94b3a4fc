// The SSE and SSE2 families: the slots each fills, their functions and
// installers. The SSE2 family shares most of the SSE family's functions and
// differs in four ways: its yaw-pitch-roll builder runs the SSE2 form of the
// sine-cosine kernel, it keeps the reference quaternion inverse, its
// half-to-float conversion uses 128-bit integer lanes, and its array
// transforms start batching at a lower count.
#pragma once

#include <cstdint>

#include "math/dispatch/family.h"

// The slots both families fill with the SSE family's functions.
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

// What each family fills with functions of its own.
#define KUBIK_SSE_OWN_SLOTS(X) \
  X(KMQuaternionRotationYawPitchRoll) X(KMQuaternionInverse) X(KMFloat16To32Array)
#define KUBIK_SSE2_OWN_SLOTS(X) X(KMQuaternionRotationYawPitchRoll) X(KMFloat16To32Array)

#define KUBIK_SSE_SLOTS(X) KUBIK_SSE_SHARED_SLOTS(X) KUBIK_SSE_OWN_SLOTS(X) KUBIK_SSE_ARRAY_SLOTS(X)
#define KUBIK_SSE2_SLOTS(X) \
  KUBIK_SSE_SHARED_SLOTS(X) KUBIK_SSE2_OWN_SLOTS(X) KUBIK_SSE_ARRAY_SLOTS(X)

namespace kubik::sse {

// The array transforms for one batch threshold: arrays of more than
// kBatchAbove elements go four at a time, the rest one at a time.
template <std::uint32_t kBatchAbove>
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

// Sines and cosines of four angles (radians). All three addresses are
// 16-byte aligned. Meaningful while |x| * 2/pi stays below 2^23; absolute
// error about 8e-8 for |x| <= 1000. This form does the quadrant arithmetic
// lane by lane through the stack.
void PackedSineCosine(const float* angles, float* sines, float* cosines);

}  // namespace kubik::sse

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

// The same kernel with the quadrant arithmetic in 128-bit integer registers;
// its results equal the SSE form's bit for bit.
void PackedSineCosine(const float* angles, float* sines, float* cosines);

}  // namespace kubik::sse2
