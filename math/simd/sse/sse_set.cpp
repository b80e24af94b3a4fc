// Installers of the SSE and SSE2 families. The SSE2 set is the SSE set with
// the SSE2 form of the sine-cosine kernel in the yaw-pitch-roll builder and
// without a quaternion inverse of its own.
#include "math/cpu/installers.h"
#include "math/simd/sse/sse_ops.h"

namespace kubik {
namespace {

// The slots both sets fill with the same function.
void InstallSharedSlots(OperationTable& table) {
  table.Set<Slot::KMMatrixMultiply>(&sse::KMMatrixMultiply);
  table.Set<Slot::KMMatrixMultiplyTranspose>(&sse::KMMatrixMultiplyTranspose);
  table.Set<Slot::KMVec3Normalize>(&sse::KMVec3Normalize);
  table.Set<Slot::KMVec4Normalize>(&sse::KMVec4Normalize);
  table.Set<Slot::KMMatrixDeterminant>(&sse::KMMatrixDeterminant);
  table.Set<Slot::KMMatrixInverse>(&sse::KMMatrixInverse);
  table.Set<Slot::KMQuaternionMultiply>(&sse::KMQuaternionMultiply);
  table.Set<Slot::KMQuaternionNormalize>(&sse::KMQuaternionNormalize);
  table.Set<Slot::KMPlaneNormalize>(&sse::KMPlaneNormalize);
  table.Set<Slot::KMQuaternionRotationMatrix>(&sse::KMQuaternionRotationMatrix);
  table.Set<Slot::KMMatrixShadow>(&sse::KMMatrixShadow);
  table.Set<Slot::KMMatrixReflect>(&sse::KMMatrixReflect);
}

}  // namespace

void InstallSseSet(OperationTable& table) {
  InstallSharedSlots(table);
  table.Set<Slot::KMQuaternionRotationYawPitchRoll>(&sse::KMQuaternionRotationYawPitchRoll);
  table.Set<Slot::KMQuaternionInverse>(&sse::KMQuaternionInverse);
}

void InstallSse2Set(OperationTable& table) {
  InstallSharedSlots(table);
  table.Set<Slot::KMQuaternionRotationYawPitchRoll>(&sse2::KMQuaternionRotationYawPitchRoll);
}

}  // namespace kubik
