// The 3DNow! family: three groups, each installed only when the processor's
// feature flags allow it. The 3DNow! set and its extended overrides are
// written on the pair layer and declared in the pair form's namespace (the
// portable or the real-instruction form), so a program may hold both forms;
// the AMD SSE array transforms exist in one form.
#pragma once

#include <cstdint>

#include "math/cpu/processor.h"
#include "math/dispatch/family.h"
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
}  // namespace kubik::amd

namespace kubik::amd::sse_arrays {
KUBIK_AMD_SSE_ARRAY_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_AMD_SSE_ARRAY_SLOTS)
}  // namespace kubik::amd::sse_arrays
