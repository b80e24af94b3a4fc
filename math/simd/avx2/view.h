// The look-at builder with this family's Vec3 normaliser inlined. Only for a
// process whose installed Vec3 normaliser is this family's, which implies a
// processor that runs this family's instructions.
#pragma once

#include <kubik/kmath.h>

namespace kubik::avx2 {

// The forward axis is at - eye, or eye - at when `right_handed`.
KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at, const KMVECTOR3* up,
                 bool right_handed);

}  // namespace kubik::avx2
