// The 3DNow! family's routines that other routines of the family call
// directly, and the installers of its groups. Declared in the pair form's
// namespace: a program may hold both forms.
#pragma once

#include <kubik/kmath.h>

#include "math/dispatch/operation_table.h"
#include "math/simd/amd/pair.h"

namespace kubik::amd::KUBIK_AMD_FORM {

KMVECTOR3* Vec3Normalize(KMVECTOR3* out, const KMVECTOR3* v);
KMPLANE* PlaneNormalize(KMPLANE* out, const KMPLANE* plane);
KMVECTOR3* Vec3TransformCoord(KMVECTOR3* out, const KMVECTOR3* v, const KMMATRIX* m);
KMMATRIX* MatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2);
KMMATRIX* MatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m);
KMMATRIX* ExtMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m);
KMQUATERNION* QuaternionNormalize(KMQUATERNION* out, const KMQUATERNION* q);
KMQUATERNION* QuaternionMultiply(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2);
KMQUATERNION* QuaternionSlerp(KMQUATERNION* out, const KMQUATERNION* q1, const KMQUATERNION* q2,
                              float t);

// The family's slots, by source.
void InstallVectorSlots(OperationTable& table);
void InstallMatrixSlots(OperationTable& table);
void InstallQuaternionSlots(OperationTable& table);
void InstallExtendedMatrixSlots(OperationTable& table);
void InstallExtendedQuaternionSlots(OperationTable& table);

// The groups: the base set (58 slots) and the extended overrides (15, 18,
// 24, 38).
void InstallBaseSet(OperationTable& table);
void InstallExtendedSet(OperationTable& table);

}  // namespace kubik::amd::KUBIK_AMD_FORM

namespace kubik::amd {
// The AMD SSE array transforms (slots 59 to 65, 68): SSE only, one form.
void InstallSseArraySet(OperationTable& table);
}  // namespace kubik::amd
