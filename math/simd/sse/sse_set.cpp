// Installers of the SSE and SSE2 families. The SSE2 set is the SSE set with
// the SSE2 form of the sine-cosine kernel in the yaw-pitch-roll builder and
// without a quaternion inverse of its own.
#include "math/cpu/installers.h"
#include "math/simd/sse/sse_batch.h"
#include "math/simd/sse/sse_ops.h"

namespace kubik {
namespace {

// The slots both sets fill with the same function.
void InstallSharedSlots(OperationTable& table) {
  table.Set<Slot::KMVec2Transform>(&sse::KMVec2Transform);
  table.Set<Slot::KMVec3Transform>(&sse::KMVec3Transform);
  table.Set<Slot::KMVec4Transform>(&sse::KMVec4Transform);
  table.Set<Slot::KMMatrixMultiply>(&sse::KMMatrixMultiply);
  table.Set<Slot::KMMatrixMultiplyTranspose>(&sse::KMMatrixMultiplyTranspose);
  table.Set<Slot::KMVec2TransformNormal>(&sse::KMVec2TransformNormal);
  table.Set<Slot::KMVec3TransformNormal>(&sse::KMVec3TransformNormal);
  table.Set<Slot::KMVec3Normalize>(&sse::KMVec3Normalize);
  table.Set<Slot::KMVec4Normalize>(&sse::KMVec4Normalize);
  table.Set<Slot::KMVec2TransformCoord>(&sse::KMVec2TransformCoord);
  table.Set<Slot::KMVec3TransformCoord>(&sse::KMVec3TransformCoord);
  table.Set<Slot::KMMatrixDeterminant>(&sse::KMMatrixDeterminant);
  table.Set<Slot::KMPlaneFromPoints>(&sse::KMPlaneFromPoints);
  table.Set<Slot::KMVec4Cross>(&sse::KMVec4Cross);
  table.Set<Slot::KMVec2Hermite>(&sse::KMVec2Hermite);
  table.Set<Slot::KMMatrixInverse>(&sse::KMMatrixInverse);
  table.Set<Slot::KMQuaternionMultiply>(&sse::KMQuaternionMultiply);
  table.Set<Slot::KMQuaternionNormalize>(&sse::KMQuaternionNormalize);
  table.Set<Slot::KMPlaneNormalize>(&sse::KMPlaneNormalize);
  table.Set<Slot::KMPlaneIntersectLine>(&sse::KMPlaneIntersectLine);
  table.Set<Slot::KMQuaternionRotationMatrix>(&sse::KMQuaternionRotationMatrix);
  table.Set<Slot::KMMatrixShadow>(&sse::KMMatrixShadow);
  table.Set<Slot::KMMatrixReflect>(&sse::KMMatrixReflect);
  table.Set<Slot::KMPlaneTransform>(&sse::KMPlaneTransform);
  table.Set<Slot::KMVec2CatmullRom>(&sse::KMVec2CatmullRom);
  table.Set<Slot::KMVec2BaryCentric>(&sse::KMVec2BaryCentric);
  table.Set<Slot::KMVec3Hermite>(&sse::KMVec3Hermite);
  table.Set<Slot::KMVec3CatmullRom>(&sse::KMVec3CatmullRom);
  table.Set<Slot::KMVec3BaryCentric>(&sse::KMVec3BaryCentric);
  table.Set<Slot::KMVec4Hermite>(&sse::KMVec4Hermite);
  table.Set<Slot::KMVec4CatmullRom>(&sse::KMVec4CatmullRom);
  table.Set<Slot::KMVec4BaryCentric>(&sse::KMVec4BaryCentric);
  table.Set<Slot::SkinnedMeshBlend>(&sse::SkinnedMeshBlend);
  table.Set<Slot::NPatchTessellate>(&sse::NPatchTessellate);
}

}  // namespace

void InstallSseSet(OperationTable& table) {
  InstallSharedSlots(table);
  table.Set<Slot::KMQuaternionRotationYawPitchRoll>(&sse::KMQuaternionRotationYawPitchRoll);
  table.Set<Slot::KMQuaternionInverse>(&sse::KMQuaternionInverse);
  table.Set<Slot::KMFloat16To32Array>(&sse::KMFloat16To32Array);
  table.Set<Slot::KMVec2TransformArray>(&sse::KMVec2TransformArray);
  table.Set<Slot::KMVec2TransformCoordArray>(&sse::KMVec2TransformCoordArray);
  table.Set<Slot::KMVec2TransformNormalArray>(&sse::KMVec2TransformNormalArray);
  table.Set<Slot::KMVec3TransformArray>(&sse::KMVec3TransformArray);
  table.Set<Slot::KMVec3TransformCoordArray>(&sse::KMVec3TransformCoordArray);
  table.Set<Slot::KMVec3TransformNormalArray>(&sse::KMVec3TransformNormalArray);
  table.Set<Slot::KMVec4TransformArray>(&sse::KMVec4TransformArray);
  table.Set<Slot::KMPlaneTransformArray>(&sse::KMPlaneTransformArray);
}

void InstallSse2Set(OperationTable& table) {
  InstallSharedSlots(table);
  table.Set<Slot::KMQuaternionRotationYawPitchRoll>(&sse2::KMQuaternionRotationYawPitchRoll);
  table.Set<Slot::KMFloat16To32Array>(&sse2::KMFloat16To32Array);
  table.Set<Slot::KMVec2TransformArray>(&sse2::KMVec2TransformArray);
  table.Set<Slot::KMVec2TransformCoordArray>(&sse2::KMVec2TransformCoordArray);
  table.Set<Slot::KMVec2TransformNormalArray>(&sse2::KMVec2TransformNormalArray);
  table.Set<Slot::KMVec3TransformArray>(&sse2::KMVec3TransformArray);
  table.Set<Slot::KMVec3TransformCoordArray>(&sse2::KMVec3TransformCoordArray);
  table.Set<Slot::KMVec3TransformNormalArray>(&sse2::KMVec3TransformNormalArray);
  table.Set<Slot::KMVec4TransformArray>(&sse2::KMVec4TransformArray);
  table.Set<Slot::KMPlaneTransformArray>(&sse2::KMPlaneTransformArray);
}

}  // namespace kubik
