// The 3DNow! family: three groups, each installed only when the processor's
// feature flags allow it. The 3DNow! set and its extended overrides are
// written on the pair layer and declared in the pair form's namespace (the
// portable or the real-instruction form), so a program may hold both forms;
// the AMD SSE array transforms exist in one form.
#pragma once

#include <cstdint>

#include "math/cpu/processor.h"
#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"
#include "math/simd/amd/pair.h"

// clang-format off
// The 3DNow! set: slots 0 to 58 except the matrix transformation (39).
#define KUBIK_3DNOW_SLOTS(X) \
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
  X(KMPlaneFromPointNormal) \
  X(KMPlaneFromPoints) \
  X(KMVec3Project) \
  X(KMVec3Unproject) \
  X(KMVec4Cross) \
  X(KMVec2Hermite) \
  X(KMMatrixInverse) \
  X(KMQuaternionMultiply) \
  X(KMQuaternionNormalize) \
  X(KMPlaneNormalize) \
  X(KMPlaneIntersectLine) \
  X(KMQuaternionToAxisAngle) \
  X(KMQuaternionRotationMatrix) \
  X(KMQuaternionRotationYawPitchRoll) \
  X(KMMatrixTranslation) \
  X(KMMatrixShadow) \
  X(KMMatrixReflect) \
  X(KMQuaternionRotationAxis) \
  X(KMMatrixRotationX) \
  X(KMMatrixRotationY) \
  X(KMMatrixRotationZ) \
  X(KMMatrixScaling) \
  X(KMPlaneTransform) \
  X(KMQuaternionSlerp) \
  X(KMQuaternionBaryCentric) \
  X(KMMatrixTranspose) \
  X(KMMatrixRotationQuaternion) \
  X(KMMatrixRotationYawPitchRoll) \
  X(KMMatrixAffineTransformation) \
  X(KMMatrixRotationAxis) \
  X(KMQuaternionSquad) \
  X(KMQuaternionInverse) \
  X(KMQuaternionSquadSetup) \
  X(KMVec2Normalize) \
  X(KMVec2CatmullRom) \
  X(KMVec2BaryCentric) \
  X(KMVec3Hermite) \
  X(KMVec3CatmullRom) \
  X(KMVec3BaryCentric) \
  X(KMVec4Hermite) \
  X(KMVec4CatmullRom) \
  X(KMVec4BaryCentric) \
  X(KMQuaternionLn) \
  X(KMQuaternionExp) \
  X(KMFloat32To16Array) \
  X(KMFloat16To32Array)

// The extended-3DNow! variants, installed over the 3DNow! set.
#define KUBIK_EXTENDED_3DNOW_SLOTS(X) \
  X(KMVec3Unproject) \
  X(KMMatrixInverse) \
  X(KMQuaternionRotationMatrix) \
  X(KMMatrixRotationQuaternion)

// The AMD SSE array transforms: SSE only, never a 3DNow! instruction.
#define KUBIK_AMD_SSE_ARRAY_SLOTS(X) \
  X(KMVec2TransformArray) \
  X(KMVec2TransformCoordArray) \
  X(KMVec2TransformNormalArray) \
  X(KMVec3TransformArray) \
  X(KMVec3TransformCoordArray) \
  X(KMVec3TransformNormalArray) \
  X(KMVec4TransformArray) \
  X(KMPlaneTransformArray)

#define KUBIK_3DNOW_FAMILY_SLOTS(X) \
  KUBIK_3DNOW_SLOTS(X) \
  KUBIK_AMD_SSE_ARRAY_SLOTS(X)
// clang-format on

// The accepted error per slot (math/dispatch/family_bounds.h), for the
// whole family: single-precision pairs; reciprocals and reciprocal square
// roots from the estimates and their refinement steps; sines and cosines
// from the packed kernels (absolute error about 3e-7); the half conversion
// one unit from the reference within a float rounding step of a subnormal
// halfway point.
// clang-format off
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
// clang-format on

namespace kubik::amd::KUBIK_AMD_FORM {

KUBIK_3DNOW_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_3DNOW_SLOTS)

namespace extended {
KUBIK_EXTENDED_3DNOW_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_EXTENDED_3DNOW_SLOTS)
}  // namespace extended

}  // namespace kubik::amd::KUBIK_AMD_FORM

namespace kubik::amd {
// The family's functions of this build's pair form. Calls between them name
// it: unqualified, the record arguments would also find the public entries.
namespace form = KUBIK_AMD_FORM;
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_3DNOW_BOUNDS)
}  // namespace kubik::amd

namespace kubik::amd::sse_arrays {
KUBIK_AMD_SSE_ARRAY_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_AMD_SSE_ARRAY_SLOTS)
}  // namespace kubik::amd::sse_arrays
