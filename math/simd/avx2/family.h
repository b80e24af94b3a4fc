// The AVX2 family: AVX2, FMA and F16C, on processors whose operating system
// saves the YMM registers. It lays its functions over the SSE2 family's;
// the slots it leaves (splines, plane builders and the rest) keep that family's functions or the
// reference.
#pragma once

#include <cstddef>

#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"

// clang-format off
#define KUBIK_AVX2_SLOTS(X)        \
  X(KMVec2Transform)               \
  X(KMVec3Transform)               \
  X(KMVec4Transform)               \
  X(KMPlaneTransform)              \
  X(KMVec2TransformNormal)         \
  X(KMVec3TransformNormal)         \
  X(KMVec2TransformCoord)          \
  X(KMVec3TransformCoord)          \
  X(KMMatrixMultiply)              \
  X(KMMatrixMultiplyTranspose)     \
  X(KMMatrixInverse)               \
  X(KMMatrixRotationQuaternion)    \
  X(KMMatrixRotationYawPitchRoll)  \
  X(KMVec2Normalize)               \
  X(KMVec3Normalize)               \
  X(KMVec4Normalize)               \
  X(KMQuaternionNormalize)         \
  X(KMPlaneNormalize)              \
  X(KMQuaternionMultiply)          \
  X(KMQuaternionRotationYawPitchRoll) \
  X(KMQuaternionSlerp)             \
  X(KMQuaternionSquad)             \
  X(KMFloat32To16Array)            \
  X(KMFloat16To32Array)            \
  X(KMVec2TransformArray)          \
  X(KMVec2TransformCoordArray)     \
  X(KMVec2TransformNormalArray)    \
  X(KMVec3TransformArray)          \
  X(KMVec3TransformCoordArray)     \
  X(KMVec3TransformNormalArray)    \
  X(KMVec4TransformArray)          \
  X(KMPlaneTransformArray)         \
  X(SkinnedMeshBlend)              \
  X(NPatchTessellate)

// Accuracy per slot (math/dispatch/family_bounds.h): the largest error in
// units of 2^-24 times the magnitude rounding can reach in that output (for
// a sum of products, the sum of the absolute products), as the accuracy
// program measures it, with room. Fused multiply-adds round each chain step
// once; the array transforms form the same chains as the single ones; the
// half conversions are exact; the skinned-mesh blend is the reference's walk
// on the family's transforms; the N-patch positions are dominated by
// w = 1 - u - v rounded to float as the SSE families round it. The look-at
// builder, which runs this family's form where this family's normaliser is
// installed, states its own bound in view.h (kLookAtBound).
#define KUBIK_AVX2_BOUNDS(X)              \
  X(KMVec2Transform, 3)                   \
  X(KMVec3Transform, 3)                   \
  X(KMVec4Transform, 4)                   \
  X(KMPlaneTransform, 4)                  \
  X(KMVec2TransformNormal, 3)             \
  X(KMVec3TransformNormal, 3)             \
  X(KMVec2TransformCoord, 3)              \
  X(KMVec3TransformCoord, 3)              \
  X(KMMatrixMultiply, 4)                  \
  X(KMMatrixMultiplyTranspose, 4)         \
  X(KMMatrixInverse, 8)                   \
  X(KMMatrixRotationQuaternion, 4)        \
  X(KMMatrixRotationYawPitchRoll, 3)      \
  X(KMVec2Normalize, 2)                   \
  X(KMVec3Normalize, 2)                   \
  X(KMVec4Normalize, 2)                   \
  X(KMQuaternionNormalize, 2)             \
  X(KMPlaneNormalize, 4)                  \
  X(KMQuaternionMultiply, 3)              \
  X(KMQuaternionRotationYawPitchRoll, 3)  \
  X(KMQuaternionSlerp, 4)                 \
  X(KMQuaternionSquad, 6)                 \
  X(KMFloat32To16Array, 0)                \
  X(KMFloat16To32Array, 0)                \
  X(KMVec2TransformArray, 3)              \
  X(KMVec2TransformCoordArray, 3)         \
  X(KMVec2TransformNormalArray, 3)        \
  X(KMVec3TransformArray, 3)              \
  X(KMVec3TransformCoordArray, 3)         \
  X(KMVec3TransformNormalArray, 3)        \
  X(KMVec4TransformArray, 4)              \
  X(KMPlaneTransformArray, 4)             \
  X(SkinnedMeshBlend, 6)                  \
  X(NPatchTessellate, 14)
// clang-format on

namespace kubik::avx2 {

KUBIK_AVX2_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)

// Array outputs of at least this many bytes are written with non-temporal
// stores: the size of the last-level cache, read once. Tests lower it to
// reach the streaming path with small arrays (0 restores the cache size).
std::size_t ArrayStreamingThreshold();
void SetArrayStreamingThresholdForTesting(std::size_t bytes);

// Only the registry, built without the family's flags, calls the installer;
// the family's sources include this header for the declarations alone.
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_AVX2_SLOTS)
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_AVX2_BOUNDS)

// Every slot the family fills states its accuracy bound, and no other.
#define KUBIK_AVX2_COUNT_SLOT(name) +1
#define KUBIK_AVX2_COUNT_BOUND(name, units) +1
static_assert(0 KUBIK_AVX2_SLOTS(KUBIK_AVX2_COUNT_SLOT) ==
              0 KUBIK_AVX2_BOUNDS(KUBIK_AVX2_COUNT_BOUND));
#undef KUBIK_AVX2_COUNT_SLOT
#undef KUBIK_AVX2_COUNT_BOUND

}  // namespace kubik::avx2
